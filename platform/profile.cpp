// Private-profile files (to be filled in).
#include "profile.h"
