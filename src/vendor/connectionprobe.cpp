#include "vendor/connectionprobe.h"

namespace ConnectionProbe {

QString statusText(bool connected)
{
    return connected ? QStringLiteral("<span style=\"color:#005605;\"><b>Connected</b></span>")
                     : QStringLiteral("<span style=\"color:#ff0000;\"><b>Disconnected</b></span>");
}

}
