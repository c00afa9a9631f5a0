// The music commands: play last, stop, what playing, the media panel and the CD player.
// "Play music file" stays in tool_commands.cpp (it is File_Work on the cursor's entry).
#include <QTimer>

#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "main/music_session.h"
#include "tools/cdplayer/cd_form.h"

namespace kv {

namespace {

template <typename F>
std::function<void(TForm1&)> onSession(F f) {
    return [f](TForm1& form) {
        if (MusicSession* s = MusicSession::of(form)) f(*s);
    };
}

void showCdPlayer(TForm1& f) {
    const std::string language = f.cfg().Main.Language;
    ToolTexts texts = [language](const char* key, const char* english) {
        return QString::fromStdString(kvLanguage().DialogText(language, "CD-Player", key, english));
    };
    TFormCdPlay cd(music::openSystemCdDrive(), IsEnglish(language) ? ToolTexts{} : texts, &f);
    cd.Timer1->start();
    cd.exec();
}

}  // namespace

void registerMusicCommands(CommandTable& t) {
    t.add("music.playLast", onSession([](MusicSession& s) { s.playLast(); }));
    t.add("music.stop", onSession([](MusicSession& s) { s.stopMusic(); }));
    t.add("music.whatPlaying", onSession([](MusicSession& s) { s.whatPlaying(); }));
    t.add("utils.mediaPlayer", onSession([](MusicSession& s) { s.toggleMediaPanel(); }));
    t.add("utils.cdPlayer", showCdPlayer);
}

}  // namespace kv
