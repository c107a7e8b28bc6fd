#include "chipregisters.h"

namespace ChipReg {

const char *name(quint8 address)
{
    address &= AddressMask;
    // Every group of eight begins with the one Page register.
    if (isPageRegister(address))
        return "Page";
    switch (address) {
#define TAGBENCH_REGISTER_NAME(registerName, registerAddress) \
    case registerAddress: return #registerName;
        TAGBENCH_CHIP_REGISTERS(TAGBENCH_REGISTER_NAME)
#undef TAGBENCH_REGISTER_NAME
    default: return "RFU";
    }
}

} // namespace ChipReg

namespace ChipCmd {

const char *name(quint8 code)
{
    switch (code) {
#define TAGBENCH_COMMAND_NAME(commandName, commandCode) \
    case commandCode: return #commandName;
        TAGBENCH_CHIP_COMMANDS(TAGBENCH_COMMAND_NAME)
#undef TAGBENCH_COMMAND_NAME
    default: return nullptr;
    }
}

} // namespace ChipCmd
