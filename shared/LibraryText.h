#pragma once

#include <string>

// A text of the text library by its ID; empty when the library has none.
std::wstring LibraryText(unsigned id);
