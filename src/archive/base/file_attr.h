#pragma once
// The attribute record of the archive writer: a DOS attribute mask plus six flags.
#include <cstdint>

namespace kv {

class TkelFileAttr {
public:
    int Attr() const { return attr_; }
    bool ftArchive() const { return archive_; }
    bool ftHidden() const { return hidden_; }
    bool ftReadOnly() const { return readOnly_; }
    bool ftSysFile() const { return sysFile_; }
    bool ftVolumeID() const { return volumeId_; }
    bool ftDirectory() const { return directory_; }

    void setFtArchive(bool v) {
        archive_ = v;
        setBit(32, v);
    }
    void setFtHidden(bool v) {
        hidden_ = v;
        setBit(2, v);
    }
    void setFtReadOnly(bool v) {
        readOnly_ = v;
        setBit(1, v);
    }
    void setFtSysFile(bool v) {
        sysFile_ = v;
        setBit(4, v);
    }
    void setFtVolumeID(bool v) {
        volumeId_ = v;
        setBit(8, v);
    }
    // The directory flag is kept apart from the mask, as the old record did.
    void setFtDirectory(bool v) { directory_ = v; }

    // Copies the six flags only; the mask stays as it is.
    void Assign(const TkelFileAttr& o) {
        archive_ = o.archive_;
        hidden_ = o.hidden_;
        readOnly_ = o.readOnly_;
        sysFile_ = o.sysFile_;
        volumeId_ = o.volumeId_;
        directory_ = o.directory_;
    }

private:
    void setBit(int bit, bool on) {
        if (on && !(attr_ & bit))
            attr_ += bit;
        else if (!on && (attr_ & bit))
            attr_ -= bit;
    }
    int attr_ = 33;
    bool archive_ = true, hidden_ = false, readOnly_ = true, sysFile_ = false, volumeId_ = false,
         directory_ = false;
};

}  // namespace kv
