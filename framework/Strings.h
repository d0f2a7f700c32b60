#pragma once

#include "platform/Utf8.h"
