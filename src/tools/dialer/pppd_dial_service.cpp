#include "tools/dialer/pppd_dial_service.h"

#include <QProcess>

#include <signal.h>

#include <algorithm>

#include "platform/file_contents.h"
#include "tools/dialer/pppd_reports.h"

namespace kv::dialer {

namespace {

class PppdService : public DialService {
public:
    PppdService(std::string folder, QString program, std::string run)
        : folder_(std::move(folder)), program_(std::move(program)), run_(std::move(run)) {}
    ~PppdService() override { stop(); }

    std::vector<std::string> entries() override { return pppdPeers(folder_); }

    int dial(const std::string& entry, Progress progress) override {
        const auto peers = entries();
        if (std::find(peers.begin(), peers.end(), entry) == peers.end()) return kOtherFailure;
        stop();
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        reached_ = false;
        hungUp_ = false;
        interface_.clear();
        QProcess* p = process_.get();
        QObject::connect(p, &QProcess::readyRead, p, [this, p, progress] {
            while (p->canReadLine()) {
                const std::string line = p->readLine().toStdString();
                if (auto name = pppdInterface(line); !name.empty()) interface_ = name;
                if (auto r = pppdLineReport(line)) {
                    if (r->state == kConnected) reached_ = true;
                    progress(*r);
                }
            }
        });
        QObject::connect(p, &QProcess::finished, p, [this, progress](int code, QProcess::ExitStatus) {
            // Up and gone to the background: nothing ended.
            if (code == 0 && reached_ && !hungUp_) return;
            progress(pppdExitReport(code, reached_, hungUp_));
        });
        progress_ = progress;
        process_->start(program_,
                        {QStringLiteral("call"), QString::fromStdString(entry), QStringLiteral("updetach")});
        if (!process_->waitForStarted(5000)) {
            lastError_ = process_->errorString().toStdString();
            process_.reset();
            return kOtherFailure;
        }
        // pppd's own messages are read from the event loop, so this one comes first.
        progress(DialReport{kOpeningPort, 0});
        return 0;
    }

    void hangUp() override {
        if (!process_) return;
        hungUp_ = true;
        if (process_->state() != QProcess::NotRunning) {
            process_->terminate();  // pppd hangs up the line on SIGTERM
            return;
        }
        // In the background now: its pid file names it.
        if (!reached_ || interface_.empty()) return;
        const std::string text = platform::readOwnFile(run_ + "/" + interface_ + ".pid", 4096).bytes;
        if (const int pid = pppdPid(text); pid && ::kill(pid, SIGTERM) == 0 && progress_)
            progress_(DialReport{kDisconnected, 0});
        reached_ = false;
    }

    std::string errorText(int code) override {
        std::string text;
        switch (code) {
            case kLineBusy: text = "The line is busy or there is no carrier."; break;
            case kPortDisconnected: text = "The connection was dropped by the other side."; break;
            default: text = lastError_.empty() ? "The connection could not be made." : lastError_; break;
        }
        return text.substr(0, 100);
    }

private:
    // Ends a pppd still dialing (one in the background stays up); its last report is not
    // delivered any more.
    void stop() {
        if (!process_) return;
        process_->disconnect();
        if (process_->state() != QProcess::NotRunning) {
            process_->terminate();
            if (!process_->waitForFinished(3000)) process_->kill(), process_->waitForFinished(1000);
        }
        process_.reset();
    }

    std::string folder_;
    QString program_;
    std::string run_;
    std::string interface_;
    Progress progress_;
    std::unique_ptr<QProcess> process_;
    bool reached_ = false;
    bool hungUp_ = false;
    std::string lastError_;
};

}  // namespace

std::unique_ptr<DialService> pppdService(std::string peersFolder, QString pppdProgram,
                                         std::string runFolder) {
    return std::make_unique<PppdService>(std::move(peersFolder), std::move(pppdProgram),
                                         std::move(runFolder));
}

}  // namespace kv::dialer
