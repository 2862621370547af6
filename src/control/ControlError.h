#pragma once

#include <QString>
#include <optional>

// Why a link operation asked for over the bus did not succeed. Each kind is a D-Bus error name of
// its own and an exit code of its own on the command line; the text is what the status line says.
enum class ControlFailure { portNotRunning, notReady, busy, unknownLink, failed, notAnswering };

struct ControlError {
    ControlFailure failure;
    QString text;
};

QString errorName(ControlFailure failure);
std::optional<ControlFailure> failureOfErrorName(const QString& name);
