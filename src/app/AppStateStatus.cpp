// The status line as the background steps use it.
#include "app/AppState.h"

void AppState::showStepFailure(std::optional<QString>& shown, const QString& text) {
    shown = text;
    publish(statusMessage_, text);
}

void AppState::clearStepFailure(std::optional<QString>& shown) {
    // A user action or another step may have replaced the text since; theirs stays.
    if (shown && statusMessage_ == shown)
        publish(statusMessage_, std::nullopt);
    shown.reset();
}
