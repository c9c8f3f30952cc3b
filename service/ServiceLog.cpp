#include "service/ServiceLog.h"

#include <cstdio>

namespace ServiceLog {

void Write(const QString& Line)
{
    const QByteArray Text = "lumidor-taskd: " + Line.toUtf8() + '\n';
    // One write per line, so that a program run by the service, writing to
    // the same stream, cannot split it.
    (void)std::fwrite(Text.constData(), 1, size_t(Text.size()), stderr);
    (void)std::fflush(stderr);
}

} // namespace ServiceLog
