#pragma once

#include "support/coreenvironment.h"

#include <QList>
#include <QStringList>

// The core environment with the widgets library's outside effects caught: information boxes and
// process ends are recorded instead of shown or done, pauses and the start-up splash take no time.
class TestEnvironment final : public CoreEnvironment
{
public:
    explicit TestEnvironment(const QString &userId = QStringLiteral("TEST-USER-1"));
    ~TestEnvironment() override;
    Q_DISABLE_COPY_MOVE(TestEnvironment)

    // Recorded information boxes as "title|text", and requested exit codes.
    QStringList boxes;
    QList<int> exits;
};
