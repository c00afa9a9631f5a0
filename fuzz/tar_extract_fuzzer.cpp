// Arbitrary bytes as a .tar archive through its extractor's test job and a real extraction.
#include "extract_fuzz_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kvfuzz::extractJob(data, size, ".tar", kvfuzz::ListingBounds::Always, true);
}
