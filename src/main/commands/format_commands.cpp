// "Format floppy drive": the removable disks through the disk service, or a clear word
// that formatting is not available on this machine.
#include <QMessageBox>

#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/format/disk_service.h"
#include "main/format/format_form.h"
#include "main/main_form.h"

namespace kv {

void registerFormatCommands(CommandTable& t) {
    t.add("utils.formatFloppy", [](TForm1& f) {
        std::unique_ptr<format::DiskService> service = format::diskServiceFactory()();
        std::string why;
        if (!service || !service->available(why)) {
            QMessageBox::information(&f, QStringLiteral("Format floppy drive"),
                                     QStringLiteral("Formatting is not available: %1.")
                                         .arg(QString::fromStdString(why.empty() ? "no disk service" : why)));
            return;
        }
        format::TFormFormat d(&f, *service);
        d.exec();
    });
}

}  // namespace kv
