#include "common/dialogue.h"

#include "common/run_log.h"
#include "platform.h"

namespace kv {

void BoxDialogue::OnTell(const std::string& text, const std::string& title, UINT style) {
    Log(title + ": " + text);
    Os().ShowMessage(text, title, (style & ~MB_TYPEMASK) | MB_OK | MB_TOPMOST);
}

bool BoxDialogue::OnAsk(Question, const std::string& text, const std::string& title, UINT style) {
    const bool yes = Os().ShowMessage(text, title, (style & ~MB_TYPEMASK) | MB_YESNO | MB_TOPMOST) == IDYES;
    Log(title + ": " + text + (yes ? " -> Yes" : " -> No"));
    return yes;
}

Dialogue& Boxes() {
    static BoxDialogue boxes;
    return boxes;
}

}  // namespace kv
