#include "archive/base/extractor_factory.h"

#include "archive/unarc/un_arc.h"
#include "archive/unarj/un_arj.h"
#include "archive/unlha/un_lha.h"
#include "archive/unrar/un_rar.h"
#include "archive/untar/un_tar.h"
#include "archive/unzip/un_zip.h"

namespace kv {

std::unique_ptr<TUnBase> makeExtractor(TArcType type) {
    switch (type) {
        case atZIP:
        case atZipExe:
        case atZip250:
        case atZip250Exe: return std::make_unique<TUnZIP>();
        case atARJ:
        case atArjExe: return std::make_unique<TUnARJ>();
        case atLHA:
        case atLhaExe:
        case atLZH:
        case atLzhExe: return std::make_unique<TUnLHA>();
        case atARC:
        case atArcExe:
        case atPAK:
        case atPakExe: return std::make_unique<TUnARC>();
        case atRAR:
        case atRarExe: return std::make_unique<TUnRAR>();
        case atTAR: return std::make_unique<TUnTAR>();
        default: return nullptr;
    }
}

}  // namespace kv
