#pragma once
// The panel tests' temporary folder is the shared one.
#include "support/temp_dir.h"
