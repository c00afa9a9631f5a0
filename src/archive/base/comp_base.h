#pragma once
// Base of the archive writer.
#include <string>
#include <vector>

#include "archive/base/file_attr.h"
#include "archive/base/zip_common.h"

namespace kv {

class TCompBase : public TZipCommon {
public:
    std::vector<std::string> FileSpecList{"*.*"};
    TSwitch Switch = TSwitch::swAdd;
    TStoredDirNames StoredDirNames = TStoredDirNames::sdNone;
    TkelFileAttr FileAttribute;

protected:
    // Fills the entry fields from the current header.
    virtual void fillEntryFields() {}
    // Positions at ArcStart - 1 and reads through readNextHeader.
    virtual bool readFirstHeader() { return readNextHeader(); }
    virtual bool readNextHeader() { return false; }
    virtual bool mainJob() { return false; }
};

}  // namespace kv
