#include "shared/LibraryText.h"

#include "uilib/CzTextLibrary.h"

std::wstring LibraryText(unsigned id)
{
    const wchar_t* text = z32MLGetString(id);
    return text ? text : L"";
}
