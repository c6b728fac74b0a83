#include "export/HashList.h"
