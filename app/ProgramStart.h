#pragma once

// Fills g_szAppDir from the executable's path and initialises the text library on the
// "Localization" folder beside it.
void PrepareProgramFolders();
