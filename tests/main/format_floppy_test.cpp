// "Format floppy drive": which disks are offered, the confirmation before the disk service
// is asked to format, and the word when there is no such service. A fake stands in for
// udisks2; nothing here touches a real disk.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "main/format/disk_filter.h"
#include "main/format/disk_service.h"
#include "main/format/format_form.h"
#include "main_window_fixture.h"

using namespace kvtest;
using kv::format::BlockRecord;
using kv::format::DriveRecord;

namespace {

const std::string kB = "/org/freedesktop/UDisks2/block_devices/";
const std::string kD = "/org/freedesktop/UDisks2/drives/";

// A machine with a system disk, a USB stick, an encrypted stick that holds /home, a card
// reader without a card, a CD drive with a disc, a loop device, an SD card and a live stick
// booted from (mounted at / without a partition table).
void machine(std::vector<BlockRecord>& blocks, std::vector<DriveRecord>& drives) {
    drives = {
        {kD + "ata", "ATA", "Samsung SSD", false, false, false},
        {kD + "stick", "SanDisk", "Cruzer Blade", true, false, false},
        {kD + "crypt", "Kingston", "DataTraveler", true, false, false},
        {kD + "reader", "Generic", "Card Reader", true, true, false},
        {kD + "dvd", "HL-DT-ST", "DVDRAM", true, true, true},
        {kD + "sd", "", "SL32G", false, true, false},
        {kD + "live", "Lexar", "JumpDrive", true, false, false},
    };
    auto blk = [](std::string name, std::uint64_t size, std::string drive) {
        BlockRecord b;
        b.objectPath = kB + name;
        b.device = "/dev/" + name;
        b.size = size;
        b.drive = drive.empty() ? std::string() : kD + drive;
        return b;
    };
    auto part = [&](std::string name, std::string of, std::vector<std::string> mounts) {
        BlockRecord b = blk(name, 1000, "");
        b.partitionTable = kB + of;
        b.mountPoints = std::move(mounts);
        return b;
    };
    blocks.push_back(blk("sda", 500'000'000'000ULL, "ata"));
    blocks.push_back(part("sda1", "sda", {"/"}));
    blocks.push_back(blk("sdb", 8'000'000'000ULL, "stick"));
    blocks.push_back(part("sdb1", "sdb", {"/media/me/STICK"}));
    blocks.push_back(blk("sdc", 16'000'000'000ULL, "crypt"));
    blocks.push_back(part("sdc1", "sdc", {}));
    BlockRecord dm = blk("dm-0", 15'000'000'000ULL, "");
    dm.cryptoBacking = kB + "sdc1";
    dm.mountPoints = {"/home"};
    blocks.push_back(dm);
    blocks.push_back(blk("sdd", 0, "reader"));
    blocks.push_back(blk("sr0", 700'000'000ULL, "dvd"));
    blocks.push_back(blk("loop0", 100'000'000ULL, ""));
    blocks.push_back(blk("mmcblk0", 31'900'000'000ULL, "sd"));
    BlockRecord live = blk("sde", 4'000'000'000ULL, "live");
    live.mountPoints = {"/"};
    blocks.push_back(live);
}

class FakeDisks : public kv::format::DiskService {
public:
    bool isAvailable = true;
    std::string formatError;  // what the next format answers
    std::vector<std::pair<std::string, kv::format::FormatRequest>> formats;

    bool available(std::string& why) override {
        if (!isAvailable) why = "the disk service udisks2 is not installed or not running";
        return isAvailable;
    }
    bool inventory(std::vector<BlockRecord>& blocks, std::vector<DriveRecord>& drives,
                   std::string&) override {
        machine(blocks, drives);
        return true;
    }
    void format(const std::string& objectPath, const kv::format::FormatRequest& request,
                std::function<void(const std::string&)> done) override {
        formats.emplace_back(objectPath, request);
        // The answer comes later, as the bus's does.
        QTimer::singleShot(20, [done, e = formatError] { done(e); });
    }
};

// The command gets a proxy for the test's one fake.
class FakeProxy : public kv::format::DiskService {
public:
    explicit FakeProxy(FakeDisks& f) : f_(f) {}
    bool available(std::string& why) override { return f_.available(why); }
    bool inventory(std::vector<BlockRecord>& b, std::vector<DriveRecord>& d, std::string& e) override {
        return f_.inventory(b, d, e);
    }
    void format(const std::string& p, const kv::format::FormatRequest& r,
                std::function<void(const std::string&)> done) override {
        f_.format(p, r, std::move(done));
    }

private:
    FakeDisks& f_;
};

struct ServiceSwap {
    explicit ServiceSwap(FakeDisks& fake) : saved(kv::format::diskServiceFactory()) {
        kv::format::diskServiceFactory() = [&fake] { return std::make_unique<FakeProxy>(fake); };
    }
    ~ServiceSwap() { kv::format::diskServiceFactory() = saved; }
    std::function<std::unique_ptr<kv::format::DiskService>()> saved;
};

}  // namespace

TEST(FormatDiskFilter, OnlyRemovableWholeDisksAwayFromRootAndHome) {
    std::vector<BlockRecord> blocks;
    std::vector<DriveRecord> drives;
    machine(blocks, drives);
    const auto c = kv::format::formatCandidates(blocks, drives);
    std::vector<std::string> rows;
    for (const auto& x : c) rows.push_back(kv::format::candidateText(x));
    EXPECT_EQ(rows, (std::vector<std::string>{"/dev/sdb  SanDisk Cruzer Blade  8.0 GB",
                                              "/dev/mmcblk0  SL32G  31.9 GB"}));
    // A disk the system marks as its own is never offered, removable or not.
    blocks[2].hintSystem = true;
    EXPECT_EQ(kv::format::formatCandidates(blocks, drives).size(), 1u);
    EXPECT_EQ(kv::format::diskSizeText(1'474'560), "1.5 MB");
    EXPECT_EQ(kv::format::diskSizeText(512), "512 bytes");
    EXPECT_EQ(kv::format::diskSizeText(256'000'000'000ULL), "256 GB");
}

TEST_F(MainWindowTest, FormatListsTheStickAndFormatsItOnlyAfterConfirmation) {
    FakeDisks fake;
    ServiceSwap swap(fake);
    auto& f = start();
    QString asked;
    QStringList shown;
    onNextDialog<kv::format::TFormFormat>([&](kv::format::TFormFormat* d) {
        for (int i = 0; i < d->ListBox1->count(); ++i) shown << d->ListBox1->item(i)->text();
        EXPECT_FALSE(d->CheckBox1->isChecked()) << "a full format is preset";
        d->ListBox1->setCurrentRow(0);
        // No: nothing is asked of the service.
        answerNextMessageBox(QMessageBox::No);
        d->Button1->click();
        EXPECT_TRUE(fake.formats.empty());
        answerNextMessageBox(QMessageBox::Yes, &asked);
        d->Button1->click();
        EXPECT_TRUE(d->busy());
        d->reject();  // refused while the service works
        EXPECT_TRUE(d->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!d->busy(), 3000);
        EXPECT_EQ(d->Label2->text(), QStringLiteral("/dev/sdb is formatted."));
        // A failure is said as the service words it.
        fake.formatError = "Error wiping device: Device or resource busy";
        d->CheckBox1->setChecked(true);
        answerNextMessageBox(QMessageBox::Yes);
        d->Button1->click();
        QTRY_VERIFY_WITH_TIMEOUT(!d->busy(), 3000);
        EXPECT_EQ(d->Label2->text(),
                  QStringLiteral("Format failed: Error wiping device: Device or resource busy"));
        d->Button2->click();
    });
    f.menuItem("Formatdrive1")->trigger();
    EXPECT_EQ(expectedModals(), 0);
    EXPECT_EQ(shown, (QStringList{"/dev/sdb  SanDisk Cruzer Blade  8.0 GB", "/dev/mmcblk0  SL32G  31.9 GB"}));
    EXPECT_TRUE(asked.contains(QStringLiteral("/dev/sdb  SanDisk Cruzer Blade  8.0 GB")))
        << asked.toStdString();
    ASSERT_EQ(fake.formats.size(), 2u);
    EXPECT_EQ(fake.formats[0].first, kB + "sdb");
    EXPECT_EQ(fake.formats[0].second.type, "vfat");
    EXPECT_FALSE(fake.formats[0].second.quick);
    EXPECT_TRUE(fake.formats[1].second.quick);
}

TEST_F(MainWindowTest, FormatWithoutTheDiskServiceSaysItIsNotAvailable) {
    FakeDisks fake;
    fake.isAvailable = false;
    ServiceSwap swap(fake);
    auto& f = start();
    QString said;
    answerNextMessageBox(QMessageBox::Ok, &said);
    EXPECT_TRUE(f.runCommand("utils.formatFloppy"));
    EXPECT_EQ(said,
              QStringLiteral("Formatting is not available: the disk service udisks2 is not installed or not "
                             "running."));
    EXPECT_TRUE(fake.formats.empty());
}
