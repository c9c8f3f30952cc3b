#include "service/ServiceLog.h"

#include <cstdio>

namespace {

std::function<void(const QString&)>& Sink()
{
    static std::function<void(const QString&)> Instance;
    return Instance;
}

} // namespace

namespace ServiceLog {

void Write(const QString& Line)
{
    if (Sink()) {
        Sink()(Line);
        return;
    }
    const QByteArray Text = "lumidor-taskd: " + Line.toUtf8() + '\n';
    // One write per line, so that a child writing to the same stream cannot split it.
    (void)std::fwrite(Text.constData(), 1, size_t(Text.size()), stderr);
    (void)std::fflush(stderr);
}

void SetSinkForTesting(std::function<void(const QString&)> NewSink)
{
    Sink() = std::move(NewSink);
}

} // namespace ServiceLog
