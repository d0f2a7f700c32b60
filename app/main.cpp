#include "framework/CWinApp.h"

int main()
{
    return AfxWinMain();
}
