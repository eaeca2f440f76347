// The string table, byte for byte, as the program loads it: through the
// stand-in's table natively, through the real LoadStringA under Wine.
#include <cstring>
#include <string>

#include "core/setup_state.h"
#include "core/text.h"
#include "support/platform.h"

namespace {

struct Expected {
    UINT id;
    const char* text;
};

// Typed out from the texts the program must show, independently of the
// resource source.
const Expected expectedTexts[] = {
    {20000, "Loxbrine"},
    {20001, "TR114 ISA"},
    {20002, "Not installed"},
    {20003, "TR114 PCI"},
    {20005, "Trufax PCI"},
    {20007, "The file %s cannot be opened. Maybe the media is damaged.\n\n"
            "%s possibly cannot operate correctly without this file. Do you want to continue with the installation?"},
    {20008, "Windows 2000"},
    {20009, "Windows 2003"},
    {20010, "Windows 95/98"},
    {20011, "Windows ME"},
    {20012, "Windows NT"},
    {20013, "Windows XP"},
    {20014, "Quorindel"},
    {20015, "The Setup process is not finished.\nWhen you abort Setup now the software will not be installed.\n\n"
            "Do you really want to abort Setup now?"},
    {20016, "The Brooktrout drivers will now be installed on the system. "
            "Do you want to install the drivers with these settings now?"},
    {20018, "Do you really want to remove the Brooktrout drivers from the system now?"},
    {20019, "Please enter the number of channels for board # %d"},
    {20020, "Please enter the number of DID digits to be captured"},
    {20021, "Please enter a valid DMA channel number between 0 and 7"},
    {20022, "Please enter a valid I/O base address for board # %d"},
    {20023, "Please enter a valid interrupt number (IRQ) between 1 and 15"},
    {20024, "The DID settings have been successfully changed.\n\nIf you don't want to reinstall the Brooktrout "
            "drivers, you can also cancel the setup now without losing the new DID settings."},
    {20025, "Installing %s"},
    {20026, "The Brooktrout drivers cannot be created"},
    {20027, "The Brooktrout drivers have been successfully installed. Do you want to start the drivers now?"},
    {20028, "The file \"%s\" cannot be found or is damaged. The Setup Program cannot be continued.\n\n"
            "Try to find out the reason for this error and run Setup again."},
    {20029, "You have not selected a board. There need to be at least one board installed in the system to continue"},
    {20030, "ATTENTION: You are currently not logged on as Administrator. Maybe not all components of the software "
            "can be installed correctly.\n\nDo you want to continue with the installation?"},
    {20031, "%s Brooktrout Setup for %s (32-bit)"},
    {20032, "Brooktrout Bfv API Version %s (TR114 and Trufax)"},
    {20033, "The Brooktrout drivers have been removed"},
    {20034, "You are running %s. The Brooktrout drivers are not supported by that Windows version."},
    {20035, "%s %s"},
    {20036, "4.3"},
    {20037, "Windows Vista"},
};

class StringTableTest : public SetupTest {};

TEST_F(StringTableTest, EveryTextIsExact) {
    for (const Expected& expected : expectedTexts) {
        EXPECT_EQ(std::string(expected.text), std::string(LoadText(expected.id))) << "string " << expected.id;
    }
}

TEST_F(StringTableTest, LoadStringAGivesLengthAndCutsToTheBuffer) {
    char buffer[1024];
    for (const Expected& expected : expectedTexts) {
        std::memset(buffer, 0xA5, sizeof buffer);
        int length = LoadStringA(setupState.instance, expected.id, buffer, sizeof buffer);
        EXPECT_EQ(static_cast<int>(std::strlen(expected.text)), length) << "string " << expected.id;
    }
    std::memset(buffer, 0xA5, sizeof buffer);
    EXPECT_EQ(4, LoadStringA(setupState.instance, 20000, buffer, 5));
    EXPECT_STREQ("Loxb", buffer);
}

TEST_F(StringTableTest, IdentifiersOutsideTheTableGiveTheEmptyText) {
    const UINT missing[] = {19999, 20004, 20006, 20017, 20038, 0};
    for (UINT id : missing) EXPECT_STREQ("", LoadText(id)) << "string " << id;
}

}  // namespace
