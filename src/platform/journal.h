#pragma once

#include <QString>

namespace Platform::Journal {

// The folder of the journal and of the "automation.down" switch: the install folder, set by
// the configuration whenever it is read.
void setFolder(const QString &folder);
[[nodiscard]] QString folder();

// Appends "<UTC ISO time with ms>\t<text>[\t<detail>]" to <folder>/automation.log, flushed at once.
void append(const QString &text, const QString &detail = {});

}
