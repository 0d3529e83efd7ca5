#include "client/composer/composer.h"

std::int16_t MultiSendMode = 0;
