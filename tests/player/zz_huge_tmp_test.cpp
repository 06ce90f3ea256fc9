#include "player_fixture.h"
namespace tarnwick::test { namespace {
class HugeTmpP : public PlayerTest, public ::testing::WithParamInterface<const char*> {};
TEST_P(HugeTmpP, Runs) {
    std::string v = GetParam();
    std::string b;
    for (const char* k : {"BEACONPERIOD1", "BEACONPERIOD2", "BEACONPERIOD3", "BEACONPERIOD7", "BEACONPERIOD8", "CHECK1", "CHECK2", "CHECK3", "CHECK4", "CHECK5", "CONNECTGROUP", "CWCALLSIGN", "DISCONNECTALL", "DTMFInfo", "DTMFInfo2", "DTMFInfo3", "GROUPCALL1", "GROUPCALL2", "GROUPCALL3", "HOUR", "IPMODE", "LISTASBUSYCHECK", "MINS", "SAYENDOFFILECHECK", "STOPCLOCK1", "STOPCLOCK2", "STOPCLOCK3", "STOPCLOCK7", "STOPCLOCK8", "TEXT", "TEXT10", "TEXT14", "TEXT15", "TEXT16", "TEXT4", "TEXT5", "TEXT6", "TEXT7", "TEXT8", "TEXT9", "USESETVOL", "USESETVOL2", "USESETVOL3", "USESETVOL4", "VOLSET", "VOLSET2", "VOLSET3", "VOLSET4", "WARN", "WARNCHECK", "WARNTEXT"}) if (std::string(k).rfind("TEXT", 0) != 0 || std::string(k) == "TEXT6") b += std::string(k) + "=" + v + "\n";
    writeIni(b);
    start();
    player->Command1.click();
    for (int i = 0; i < 200; ++i) rt.advance(30000);
    raise("dtmf", {"AA"});
    for (int i = 0; i < 20; ++i) rt.advance(30000);
}
INSTANTIATE_TEST_SUITE_P(H, HugeTmpP, ::testing::Values("99999999999999999999", "-99999999999999999999", "2147483647", "-2147483648", "9223372036854775807"));
}}
