#include "app/MessagePool.h"

#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

TEST(MessagePool, RegistersTheSharedMessageOnceAndKeepsItsNumber) {
    EXPECT_EQ(MessagePoolMessage, 0u);
    RegisterMessagePool();
    const uint32_t number = MessagePoolMessage;
    EXPECT_GE(number, 0xC000u);
    EXPECT_LE(number, 0xFFFFu);
    // Any other part of the process asking for the name, in any letter case, gets the same.
    EXPECT_EQ(RegisterWindowMessageName("qv_message_pool"), number);
    RegisterMessagePool();
    EXPECT_EQ(MessagePoolMessage, number);
    EXPECT_NE(RegisterWindowMessageName("QV_MESSAGE_POOL_2"), number);
}
