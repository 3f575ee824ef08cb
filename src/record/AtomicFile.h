#pragma once

// The saver moved to disk/; this name stays for the files still using it.
#include "disk/AtomicFile.h"
