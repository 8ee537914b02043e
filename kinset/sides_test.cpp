#include "service_name.h"
#include "sides.h"

#include <gtest/gtest.h>

#include <vector>

namespace kb::kinset {
namespace {

class FakeOpener : public DeviceOpener {
public:
    Device openControlDevice() override {
        ++opens;
        if (failAfter >= 0 && opens > failAfter) {
            return kInvalidDevice;
        }
        return next++;
    }
    void closeDevice(Device d) override { closed.push_back(d); }

    int opens = 0;
    int failAfter = -1;  // opens that succeed; -1 for all
    Device next = 0x100;
    std::vector<Device> closed;
};

TEST(Sides, InitOpensKeyboardThenMouse) {
    FakeOpener opener;
    Sides sides;
    EXPECT_EQ(sides.init(opener), 1);
    EXPECT_EQ(sides.keyboard.handle(), 0x100u);
    EXPECT_EQ(sides.mouse.handle(), 0x101u);
    // Open sides are not opened again.
    EXPECT_EQ(sides.init(opener), 1);
    EXPECT_EQ(opener.opens, 2);
    sides.end(opener);
    EXPECT_EQ(opener.closed, (std::vector<Device>{0x101, 0x100}));
}

TEST(Sides, FailuresGiveTheirSideCodes) {
    FakeOpener opener;
    opener.failAfter = 0;
    Sides sides;
    EXPECT_EQ(sides.init(opener), kKeyboardOpenFailed);
    EXPECT_EQ(sides.mouse.state(), 0);  // not tried
    EXPECT_EQ(opener.opens, 1);
    EXPECT_EQ(sides.keyboard.handle(), kNullDevice);

    FakeOpener second;
    second.failAfter = 1;
    Sides other;
    EXPECT_EQ(other.init(second), kMouseOpenFailed);
    EXPECT_EQ(other.keyboard.state(), 1);
    // A failed side is tried again on the next init.
    second.failAfter = -1;
    EXPECT_EQ(other.init(second), 1);
}

TEST(Sides, EndForgetsTheClosedHandle) {
    FakeOpener opener;
    Side side(kKeyboardOpenFailed);
    ASSERT_EQ(side.init(opener), 1);
    side.end(opener);
    EXPECT_EQ(side.handle(), kNullDevice);
    EXPECT_EQ(side.state(), 0);
    side.end(opener);  // a second end closes nothing
    EXPECT_EQ(opener.closed.size(), 1u);
    side.setHandle(kInvalidDevice);
    side.end(opener);
    EXPECT_EQ(opener.closed.size(), 1u);
    side.setHandle(0x999);
    side.end(opener);
    EXPECT_EQ(opener.closed.back(), 0x999u);
}

TEST(ServiceName, FileNameWithoutDirectoryDriveAndLastExtension) {
    EXPECT_EQ(serviceNameOfPath(u"KinsetC.sys"), u"KinsetC");
    EXPECT_EQ(serviceNameOfPath(u"C:\\drv.d\\KinsetC"), u"KinsetC");
    EXPECT_EQ(serviceNameOfPath(u"C:KinsetC.sys"), u"KinsetC");
    EXPECT_EQ(serviceNameOfPath(u"D:/a.b/c\\Filter.v2.sys"), u"Filter.v2");
    EXPECT_EQ(serviceNameOfPath(u"\\\\server\\share\\drv"), u"drv");
    EXPECT_EQ(serviceNameOfPath(u""), u"");
    const std::u16string longName(300, u'x');
    EXPECT_EQ(serviceNameOfPath(u"C:\\" + longName + u".sys").size(), kMaxServiceName);
}

}  // namespace
}  // namespace kb::kinset
