#include "control/ControlError.h"

#include <array>
#include <utility>

namespace {

const std::array<std::pair<ControlFailure, const char*>, 6> names{{
    {ControlFailure::portNotRunning, "dev.skerrow.Skerrow1.Error.PortNotRunning"},
    {ControlFailure::notReady, "dev.skerrow.Skerrow1.Error.NotReady"},
    {ControlFailure::busy, "dev.skerrow.Skerrow1.Error.Busy"},
    {ControlFailure::unknownLink, "dev.skerrow.Skerrow1.Error.UnknownLink"},
    {ControlFailure::failed, "dev.skerrow.Skerrow1.Error.Failed"},
    {ControlFailure::notAnswering, "dev.skerrow.Skerrow1.Error.NotAnswering"},
}};

} // namespace

QString errorName(ControlFailure failure) {
    for (const auto& [kind, name] : names) {
        if (kind == failure)
            return QLatin1String(name);
    }
    return {};
}

std::optional<ControlFailure> failureOfErrorName(const QString& name) {
    for (const auto& [kind, text] : names) {
        if (name == QLatin1String(text))
            return kind;
    }
    return std::nullopt;
}
