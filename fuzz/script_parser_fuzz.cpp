// The skin script parser on arbitrary bytes: it either throws CException naming the file and a
// line of the text, or yields layouts that keep the promises the canvas windows rely on.
#include "framework/CException.h"
#include "uilib/SkinScript.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckInside(const WindowLayout& window, const CRect& rect)
{
    Check(!rect.IsEmpty());
    Check(rect.left >= 0 && rect.top >= 0 && rect.right <= window.width && rect.bottom <= window.height);
}

void CheckWindow(const WindowLayout& window, int lineCount)
{
    Check(window.width > 0 && window.height > 0);
    Check(window.line >= 1 && window.line <= lineCount);
    std::set<int> ids;
    auto claim = [&](int id) { Check(ids.insert(id).second); };
    auto hasFont = [&](int index) { Check(window.fonts.count(index) == 1); };
    for (const auto& [id, button] : window.buttons) {
        Check(id == button.id);
        claim(id);
        CheckInside(window, button.rect);
        hasFont(button.font);
    }
    for (const auto& [id, label] : window.statics) {
        claim(id);
        CheckInside(window, label.rect);
        hasFont(label.font);
    }
    for (const auto& [id, list] : window.dropLists) {
        claim(id);
        CheckInside(window, list.rect);
        Check(list.rect.bottom + list.itemHeight * list.visibleItems + 2 <= window.height);
        hasFont(list.font);
    }
    for (const auto& [id, bar] : window.progressBars) {
        claim(id);
        CheckInside(window, bar.rect);
    }
    for (const Decoration& decoration : window.decorations) {
        CheckInside(window, decoration.rect);
        if (decoration.kind == Decoration::Kind::Label)
            hasFont(decoration.font);
    }
    for (const auto& [index, font] : window.fonts) {
        Check(index == font.index);
        Check(font.pixelSize >= 4 && font.pixelSize <= 256);
        Check(!font.file.empty() && font.file.find_first_of(L"/\\:") == std::wstring::npos);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    int lineCount = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    try {
        SkinScript script = SkinScript::Parse(text, L"Fuzz.zsp");
        for (const auto& [name, window] : script.Windows()) {
            Check(name == window.name && !name.empty());
            CheckWindow(window, lineCount);
        }
        try {
            script.Section(L"UsbFrm");
        } catch (const CException& error) {
            Check(error.File() == L"Fuzz.zsp" && error.Line() >= 1);
        }
    } catch (const CException& error) {
        Check(error.File() == L"Fuzz.zsp");
        Check(error.Line() >= 1 && error.Line() <= lineCount);
        Check(!error.Reason().empty());
    }
    return 0;
}
