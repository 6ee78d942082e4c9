#pragma once
// CheckDrive's questions put through the user-interface port.

#include "core/UserInterface.h"
#include "util/Shell.h"

namespace pelkor {

inline DrivePrompt DrivePromptOf(UserInterface& ui) {
    DrivePrompt prompt;
    // Cancel is the default so a run nobody watches never loops on a retry.
    prompt.AskRetry = [&ui](const std::string& text, const std::string& caption) {
        return ui.MessageBox(text, caption, MsgIcon::Information, MsgButtons::RetryCancel,
                             MsgAnswer::Cancel) == MsgAnswer::Retry;
    };
    prompt.ShowError = [&ui](const std::string& text, const std::string& caption) {
        ui.MessageBox(text, caption, MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    };
    return prompt;
}

} // namespace pelkor
