#include "main/desktop_open.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QSet>
#include <QTextStream>

#include "main/main_form.h"
#include "main/viewer_work.h"
#include "platform/launcher.h"
#include "platform/xdg_dirs.h"

namespace kv {

namespace {

// "type=a.desktop;b.desktop;" rows of the sections that name programs for types.
void addListedTypes(const QString& path, QSet<QString>& types) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    bool wanted = false;
    QTextStream in(&f);
    for (QString line; in.readLineInto(&line);) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            wanted = line == QLatin1String("[Default Applications]") || line == QLatin1String("[Added Associations]") ||
                     line == QLatin1String("[MIME Cache]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!wanted || eq <= 0) continue;
        const QString programs = line.mid(eq + 1).trimmed();
        if (!programs.isEmpty() && programs != QLatin1String(";")) types.insert(line.left(eq).trimmed());
    }
}

std::vector<std::string> splitDirs(const char* var, const char* fallback) {
    const char* v = std::getenv(var);
    const std::string s = v && *v ? v : fallback;
    std::vector<std::string> out;
    for (std::size_t at = 0; at <= s.size();) {
        const std::size_t colon = std::min(s.find(':', at), s.size());
        if (colon > at) out.push_back(s.substr(at, colon - at));
        at = colon + 1;
    }
    return out;
}

QString typeOf(const std::string& file) {
    const QMimeType t = QMimeDatabase().mimeTypeForFile(QString::fromStdString(file));
    if (!t.isValid() || t.name().isEmpty()) return QStringLiteral("a file of unknown type");
    return QStringLiteral("%1 (%2)").arg(t.comment().isEmpty() ? t.name() : t.comment(), t.name());
}

}  // namespace

bool desktopHandlesType(const QString& mimeType, const std::vector<std::string>& configDirs,
                        const std::vector<std::string>& dataDirs) {
    QSet<QString> types;
    for (const std::string& d : configDirs) addListedTypes(QString::fromStdString(d + "/mimeapps.list"), types);
    for (const std::string& d : dataDirs) {
        addListedTypes(QString::fromStdString(d + "/applications/mimeapps.list"), types);
        addListedTypes(QString::fromStdString(d + "/applications/mimeinfo.cache"), types);
    }
    const QMimeType t = QMimeDatabase().mimeTypeForName(mimeType);
    if (types.contains(mimeType)) return true;
    if (t.isValid())
        for (const QString& parent : t.allAncestors())
            if (types.contains(parent)) return true;
    return false;
}

bool desktopHandles(const std::string& file) {
    std::vector<std::string> config{platform::configHome()}, data{platform::dataHome()};
    for (auto& d : splitDirs("XDG_CONFIG_DIRS", "/etc/xdg")) config.push_back(d);
    for (auto& d : splitDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) data.push_back(d);
    return desktopHandlesType(QMimeDatabase().mimeTypeForFile(QString::fromStdString(file)).name(), config, data);
}

bool offerViewer(TForm1& form, const std::string& file, const QString& why) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Open"),
                    QStringLiteral("%1\n\n\"%2\" is %3.\n\nView it in the file viewer?")
                        .arg(why, QFileInfo(QString::fromStdString(file)).fileName(), typeOf(file)),
                    QMessageBox::Yes | QMessageBox::No, &form);
    box.setObjectName(QStringLiteral("NoProgram"));
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() != QMessageBox::Yes) return false;
    openFileViewer(form, file);
    return true;
}

bool openWithDesktopOrOffer(TForm1& form, const std::string& file, const std::string& workDir) {
    if (!desktopHandles(file)) return offerViewer(form, file, QStringLiteral("No program is set to open this type of file."));
    const platform::LaunchResult r = platform::runDetached({"xdg-open", file}, workDir);
    if (r.ok) return true;
    return offerViewer(form, file, QStringLiteral("The desktop could not open the file: ") + QString::fromStdString(r.message));
}

bool launchFromPanel(TForm1& form, const std::string& file, const std::string& workDir, std::string& error) {
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) {
        const platform::LaunchResult r = platform::ExecuteFile(file, "", workDir, 5);
        if (!r.ok) error = r.message;
        return r.ok;
    }
    openWithDesktopOrOffer(form, file, workDir);
    return true;
}

}  // namespace kv
