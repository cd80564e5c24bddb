#include "app/MessagePool.h"

#include "platform/WindowMessages.h"

uint32_t MessagePoolMessage = 0;

void RegisterMessagePool() {
    MessagePoolMessage = RegisterWindowMessageName(MessagePoolName);
}
