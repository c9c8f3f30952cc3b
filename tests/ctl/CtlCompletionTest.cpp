#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "jobs/uJobConfig.h"
#include "platform/WorkItemStore.h"
#include "support/ProcessSweep.h"
#include "support/TestFiles.h"

// Bash's completion of lumidorctl as a user meets it: a real interactive
// bash on a terminal, keys typed with Tab and Enter, and what the command
// then received. Only "lumidorctl list", which the completion asks, reaches
// the real program; every other command line is recorded.

namespace {

const QString Completions = QStringLiteral("/usr/share/bash-completion/bash_completion");

// Types each line into an interactive bash on a terminal, then exits it.
const char* const Typist = R"(
import os, pty, select, sys
pid, fd = pty.fork()
if pid == 0:
    os.execvp('bash', ['bash', '--norc', '--noprofile', '-i'])
def drain(quiet):
    while True:
        ready, _, _ = select.select([fd], [], [], quiet)
        if not ready:
            return
        try:
            if not os.read(fd, 4096):
                return
        except OSError:
            return
os.write(fd, ("source '%s'; source '%s'\n" % (sys.argv[1], sys.argv[2])).encode())
drain(1.0)
for line in sys.argv[3:]:
    os.write(fd, line.encode() + b'\n')
    drain(0.5)
os.write(fd, b'exit\n')
drain(2.0)
os.waitpid(pid, 0)
)";

} // namespace

TEST(CtlCompletionTest, CompletesNamesWithBlanksAndQuotesAndWordsFromAnyPrefixWithoutAService)
{
    ASSERT_TRUE(QFile::exists(Completions)) << "bash-completion is not installed (scripts/deps.sh)";
    QTemporaryDir Home;
    ASSERT_TRUE(Home.isValid());
    const QString Store = Home.filePath("store");
    const QString Record = Home.filePath("record");
    WorkItemStore::SetFolderForTesting(Store);
    TJobConfig Registry(Home.filePath("config/Zelvo/Corvane V8/Lumidor/Lumidor.ini"));
    for (const QString& Name : QStringList{"My Job", "It's \"quoted\"", "Zelvo_Lumidor20141208212000", "a:b c"}) {
        TWorkItem Item;
        Item.Application = "/bin/true";
        TTriggerData Trigger;
        Trigger.wBeginYear = 2099;
        Trigger.wBeginMonth = Trigger.wBeginDay = 1;
        Item.Triggers.push_back(Trigger);
        ASSERT_EQ(WorkItemStore::Create(Name, Item), TStoreResult::Ok);
        Registry.AddJob(Name, "Shutdown computer at: 1/1/2099 12:00 AM", true);
    }
    WorkItemStore::SetFolderForTesting(QString());
    ASSERT_TRUE(TestFiles::Write(Home.filePath("bin/lumidorctl"),
        QStringLiteral("#!/bin/sh\n"
                       "[ \"$#\" = 1 ] && [ \"$1\" = list ] && exec '%1' list\n"
                       "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> '%2'; echo >> '%2'\n")
            .arg(LUMIDOR_BUILD_DIR "/bin/lumidorctl", Record)
            .toUtf8()));
    ASSERT_EQ(::chmod(QFile::encodeName(Home.filePath("bin/lumidorctl")).constData(), 0755), 0);

    struct TCase
    {
        const char* Typed;
        const char* Received;
    };
    const TCase Cases[] = {
        {"lumidorctl delete My\t", "[delete][My Job]"},
        {"lumidorctl delete \"My\t", "[delete][My Job]"},
        {"lumidorctl delete It\t", "[delete][It's \"quoted\"]"},
        {"lumidorctl delete 'It\t", "[delete][It's \"quoted\"]"},
        {"lumidorctl delete zel\t", "[delete][Zelvo_Lumidor20141208212000]"},
        {"lumidorctl delete a:\t", "[delete][a:b c]"},
        {"lumidorctl add restart 07:00 --weekly W\t", "[add][restart][07:00][--weekly][wednesday]"},
        {"lumidorctl add restart 07:00 --weekly=th\t", "[add][restart][07:00][--weekly=thursday]"},
        {"lumidorctl add rest\t 07:00 --d\t", "[add][restart][07:00][--daily]"},
        {"lumidorctl hi\t", "[history]"},
        {"lumidorctl V\t", "[version]"},
        {"lumidorctl list --j\t", "[list][--json]"},
        {"lumidorctl help ne\t", "[help][next]"},
    };
    QStringList Typed{Completions, QStringLiteral(LUMIDOR_SOURCE_DIR "/resources/completion/lumidorctl")};
    QStringList Expected;
    for (const TCase& Case : Cases) {
        Typed += QString::fromUtf8(Case.Typed);
        Expected += QString::fromUtf8(Case.Received);
    }
    QProcess Bash;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("PATH", Home.filePath("bin") + ":/usr/bin:/bin");
    Env.insert("HOME", Home.path());
    Env.insert("XDG_CONFIG_HOME", Home.filePath("config"));
    Env.insert("XDG_DATA_HOME", Home.filePath("share"));
    Env.insert("XDG_STATE_HOME", Home.filePath("state"));
    Env.insert("LUMIDOR_TASK_STORE", Store);
    Env.insert("TERM", "dumb");
    Env.insert("LC_ALL", "C.UTF-8");
    Bash.setProcessEnvironment(Env);
    Bash.start("/usr/bin/python3", QStringList{"-c", QString::fromUtf8(Typist)} + Typed);
    ASSERT_TRUE(Bash.waitForFinished(120000));
    EXPECT_EQ(QString::fromUtf8(TestFiles::Read(Record)).split('\n', Qt::SkipEmptyParts), Expected);
    // Listing the names started no task service.
    EXPECT_EQ(EndProcessesCarrying(Home.path()), 0);
}
