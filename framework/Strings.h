#pragma once

#include "platform/files/Utf8.h"
