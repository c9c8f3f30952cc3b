// Adds and removes jobs through TJobConfig for ever, telling a journal which
// operation begins and when it has ended, until it is killed (or, on SIGTERM,
// until the operation it is in has ended).
//
//   soak_registry_writer REGISTRY JOURNAL SEED
//
// Journal lines: "R" once it is ready, then "B add <section> <value>" or
// "B remove <section> <value>" as an operation begins and "E" when it has ended.
// Values are unique per writer (the seed is in them), so a checker can tell
// every state apart.
#include "jobs/uJobConfig.h"

#include "soak/Journal.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

using SoakJournal::Note;

int main(int Argc, char** Argv)
{
    if (!SoakJournal::Open(Argc, Argv, "usage: soak_registry_writer REGISTRY JOURNAL SEED\n"))
        return Argc != 4 ? 2 : 3;
    const unsigned long Seed = std::strtoul(Argv[3], nullptr, 10);
    std::mt19937 Random(Seed);
    TJobConfig Config(QString::fromLocal8Bit(Argv[1]));
    Note("R");
    for (unsigned long Step = 0;; ++Step) {
        const bool Shutdown = Random() % 2 == 0;
        const char* Section = Shutdown ? "Schedule_Shutdown" : "Schedule_Restart";
        const int Count = Shutdown ? Config.ShutdownJobCount() : Config.RestartJobCount();
        const bool Add = Count < 3 || (Count < 12 && Random() % 2 == 0);
        if (Add) {
            const std::string Task = "Soak" + std::to_string(Seed) + "_" + std::to_string(Step) + ".job";
            const std::string Label = "shut down, " + std::to_string(Step);
            Note(std::string("B add ") + Section + ' ' + Task + ',' + Label);
            Config.AddJob(QString::fromStdString(Task), QString::fromStdString(Label), Shutdown);
        } else {
            const int Index = int(Random() % unsigned(Count));
            const QString Value = Shutdown ? Config.GetShutdownJob(Index) : Config.GetRestartJob(Index);
            Note(std::string("B remove ") + Section + ' ' + Value.toStdString());
            if (Shutdown)
                Config.RemoveShutdownJob(Value);
            else
                Config.RemoveRestartJob(Value);
        }
        Note("E");
        if (SoakJournal::Stopping())
            return 0;
    }
}
