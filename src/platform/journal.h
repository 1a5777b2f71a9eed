#pragma once

#include <QString>

namespace Platform::Journal {

// Appends "<UTC ISO time with ms>\t<text>[\t<detail>]" to <install folder>/automation.log, flushed at once.
void append(const QString &text, const QString &detail = {});

}
