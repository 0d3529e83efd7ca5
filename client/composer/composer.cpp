#include "client/composer/composer.h"

std::int16_t MultiSendMode = 0;
std::int16_t PaneToggleCount = 0;
std::int16_t AttachListToggleCount = 0;
