#include "ui/batch/BatchUserInterface.h"

#include <iostream>

namespace pelkor {

BatchUserInterface::BatchUserInterface() : err_(std::cerr) {}
BatchUserInterface::BatchUserInterface(std::ostream& err) : err_(err) {}

const char* BatchUserInterface::IconWord(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return "Error";
    case MsgIcon::Question:
        return "Question";
    case MsgIcon::Exclamation:
        return "Warning";
    case MsgIcon::Information:
        return "Information";
    case MsgIcon::None:
        break;
    }
    return "";
}

MsgAnswer BatchUserInterface::MessageBox(const std::string& text, const std::string& title,
                                         MsgIcon icon, MsgButtons, MsgAnswer defaultAnswer) {
    if (icon == MsgIcon::Critical || icon == MsgIcon::Exclamation) ++problems_;
    // One line per box, so a log reader sees each message whole.
    std::string flat;
    flat.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (!flat.empty() && flat.back() != ' ') flat += ' ';
            continue;
        }
        flat += c;
    }
    err_ << title;
    const char* word = IconWord(icon);
    if (*word) err_ << " (" << word << ")";
    err_ << ": " << flat << std::endl;
    if (hook_) hook_(icon, title, flat);
    return defaultAnswer;
}

void BatchUserInterface::ExitProgram(int status) {
    exitAsked_ = true;
    exitStatus_ = status;
}

} // namespace pelkor
