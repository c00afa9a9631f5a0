// F3 and Enter on a fifo, socket or device: nothing is opened or read, the status strip
// says what the entry is. A fifo opened for reading would block the window until a writer
// came; a guard thread plays that writer after a few seconds, so a fault fails the test
// instead of hanging it.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLabel>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "main/main_window_fixture.h"

using namespace kvtest;

namespace {

class SpecialFilesTest : public MainWindowTest {
protected:
    void cursorTo(kv::TFPanel* p, const std::string& name) {
        const int i = p->FL.findByName(name);
        ASSERT_GT(i, 0) << name;
        p->PosList = 0;
        p->Bar_Pos = i - 1;
        p->LocateCursor();
        p->DrawCursor();
    }
};

// Opens each fifo for writing (non-blocking: only succeeds when someone waits to read it)
// once `ms` have passed, releasing a reader stuck in open(); `released` tells the test.
class FifoGuard {
public:
    FifoGuard(std::vector<std::string> fifos, int ms) {
        thread_ = std::thread([this, fifos, ms] {
            for (int waited = 0; waited < ms && !done_; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            while (!done_) {
                for (const auto& f : fifos) {
                    const int fd = ::open(f.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                    if (fd >= 0) {
                        released_ = true;
                        ::close(fd);
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~FifoGuard() {
        done_ = true;
        thread_.join();
    }
    bool released() const { return released_; }

private:
    std::atomic<bool> done_{false}, released_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(SpecialFilesTest, F3AndEnterOnAFifoOrASocketOpenNothingAndSaySo) {
    // A fifo named like text, like music and like an archive: each would have been read.
    const std::vector<std::string> fifos = {"pipe", "song.mp3", "pack.zip"};
    std::vector<std::string> paths;
    for (const auto& n : fifos) {
        paths.push_back((work / n).string());
        ASSERT_EQ(::mkfifo(paths.back().c_str(), 0644), 0);
    }
    const std::string sock = (work / "sock").string();
    const int sfd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sfd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sock.c_str(), sock.size());
    ASSERT_EQ(::bind(sfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    auto& f = start();
    FifoGuard guard(paths, 5000);
    struct Case {
        std::string name, says;
    };
    const std::vector<Case> cases = {
        {"pipe", "<pipe> is a named pipe: it is not opened"},
        {"song.mp3", "<song.mp3> is a named pipe: it is not opened"},
        {"pack.zip", "<pack.zip> is a named pipe: it is not opened"},
        {"sock", "<sock> is a socket: it is not opened"},
    };
    for (const auto& c : cases) {
        for (int k : {int(Qt::Key_F3), int(Qt::Key_Return)}) {
            f.Label2->clear();
            cursorTo(f.LeftPanel, c.name);
            key(k);
            EXPECT_EQ(f.Label2->text().toStdString(), c.says) << c.name << " key " << k;
            EXPECT_EQ(f.LeftPanel->CurDir, work.string()) << "Enter did not open it as a folder";
        }
    }
    EXPECT_FALSE(guard.released()) << "a fifo was opened for reading and blocked the window";
    ::close(sfd);
}
