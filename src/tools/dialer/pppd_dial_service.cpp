#include "tools/dialer/pppd_dial_service.h"

#include <QProcess>

#include <algorithm>

#include "tools/dialer/pppd_reports.h"

namespace kv::dialer {

namespace {

class PppdService : public DialService {
public:
    PppdService(std::string folder, QString program) : folder_(std::move(folder)), program_(std::move(program)) {}
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
        QProcess* p = process_.get();
        QObject::connect(p, &QProcess::readyRead, p, [this, p, progress] {
            while (p->canReadLine()) {
                const std::string line = p->readLine().toStdString();
                if (auto r = pppdLineReport(line)) {
                    if (r->state == kConnected) reached_ = true;
                    progress(*r);
                }
            }
        });
        QObject::connect(p, &QProcess::finished, p, [this, progress](int code, QProcess::ExitStatus) {
            progress(pppdExitReport(code, reached_, hungUp_));
        });
        process_->start(program_, {QStringLiteral("call"), QString::fromStdString(entry), QStringLiteral("nodetach")});
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
        if (!process_ || process_->state() == QProcess::NotRunning) return;
        hungUp_ = true;
        process_->terminate();  // pppd hangs up the line on SIGTERM
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
    // Ends a running pppd; its last report is not delivered any more.
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
    std::unique_ptr<QProcess> process_;
    bool reached_ = false;
    bool hungUp_ = false;
    std::string lastError_;
};

}  // namespace

std::unique_ptr<DialService> pppdService(std::string peersFolder, QString pppdProgram) {
    return std::make_unique<PppdService>(std::move(peersFolder), std::move(pppdProgram));
}

}  // namespace kv::dialer
