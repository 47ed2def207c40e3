#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "handlers/PageFrame.h"
#include "handlers/Pages.h"
#include "text/Html.h"

namespace snapora::server {

namespace {

std::string FileSize(std::uintmax_t bytes) {
    if (bytes < 1024 * 1024) return std::to_string((bytes + 1023) / 1024) + " KB";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    std::string s = text;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

}  // namespace

Response HomePage(Context& context) {
    return PageResponse(
        "Screenshots teilen",
        "<h1>Screenshots aufnehmen und teilen</h1>\n"
        "<p>Mit Snapora drücken Sie <strong>Druck</strong>, und einen Augenblick später steht Ihr Screenshot im "
        "Netz: Die Adresse liegt schon in der Zwischenablage und kann sofort weitergegeben werden.</p>\n"
        "<ul>\n<li><a href=\"/download.htm\">Snapora herunterladen</a></li>\n"
        "<li><a href=\"/account.htm?action=register\">Ein Konto anlegen</a>, um Ihre Screenshots "
        "wiederzufinden und zu löschen</li>\n"
        "<li><a href=\"/account.htm?action=login\">Anmelden</a></li>\n"
        "<li><a href=\"/faq.htm\">Fragen und Antworten</a></li>\n</ul>\n"
        "<p>Im <strong>Session-Modus</strong> erscheinen alle Screenshots einer Session auf einer gemeinsamen "
        "Seite, die Ihre Zuschauer offen lassen: Jeder neue Screenshot erscheint dort von selbst.</p>");
}

bool IsDownloadName(const std::string& fileName) {
    if (fileName.empty() || fileName.size() > 100 || fileName[0] == '.') return false;
    return std::all_of(fileName.begin(), fileName.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

Response DownloadPage(Context& context) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::uintmax_t>> files;
    std::error_code error;
    if (!context.settings.downloadsDir.empty()) {
        for (const auto& entry : fs::directory_iterator(context.settings.downloadsDir, error)) {
            std::string name = entry.path().filename().string();
            if (IsDownloadName(name) && entry.is_regular_file(error)) files.emplace_back(name, entry.file_size(error));
        }
    }
    std::sort(files.begin(), files.end());
    std::string body = "<h1>Download</h1>\n";
    if (files.empty()) {
        body += "<p>Zurzeit stehen keine Downloads bereit.</p>";
    } else {
        body += "<p>Snapora läuft unter Windows. Laden Sie das Programm herunter und starten Sie es; eine "
                "Installation ist nicht nötig.</p>\n<ul>\n";
        for (const auto& [name, size] : files)
            body += "<li><a href=\"/downloads/" + EscapeHtml(UrlEncode(name)) + "\">" + EscapeHtml(name) + "</a> (" +
                    FileSize(size) + ")</li>\n";
        body += "</ul>";
    }
    return PageResponse("Download", body);
}

Response DownloadFile(Context& context, const std::string& fileName) {
    if (!IsDownloadName(fileName) || context.settings.downloadsDir.empty()) return NotFoundPage();
    std::string path = context.settings.downloadsDir + "/" + fileName;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return NotFoundPage();
    Response response;
    response.contentType = "application/octet-stream";
    response.filePath = path;
    response.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + fileName + "\"");
    return response;
}

Response DonationPage() {
    return PageResponse(
        "Spenden",
        "<h1>Snapora unterstützen</h1>\n"
        "<p>Snapora ist kostenlos und ohne Werbung. Wenn Ihnen das Programm die Arbeit erleichtert, freuen wir uns "
        "über eine Spende: Sie hilft, den Dienst zu betreiben und das Programm weiterzuentwickeln.</p>\n"
        "<p>Wer diesen Dienst betreibt, nennt Ihnen gern die Möglichkeiten zu spenden. Vielen Dank!</p>");
}

Response FaqPage() {
    return PageResponse(
        "Fragen und Antworten",
        "<h1>Fragen und Antworten</h1>\n"
        "<h2 id=\"screenshot\">Wie nehme ich einen Screenshot auf?</h2>\n"
        "<p>Drücken Sie <strong>Druck</strong> für den ganzen Bildschirm oder das Fenster im Vordergrund, "
        "<strong>Shift+Druck</strong> immer für das Fenster im Vordergrund. Nach dem Hochladen steht die Adresse "
        "im Programm und auf Wunsch in der Zwischenablage.</p>\n"
        "<h2 id=\"account\">Wozu ein Konto, und wie richte ich es ein?</h2>\n"
        "<p>Mit einem Konto finden Sie alle Ihre Screenshots auf einer Seite wieder und können sie löschen; "
        "umbenennen können Sie sie auch von einem anderen Rechner aus.</p>\n"
        "<ol>\n<li><a href=\"/account.htm?action=register\">Legen Sie ein Konto an</a>: Benutzername "
        "(3 bis 32 Zeichen: Buchstaben, Ziffern, - und _) und Passwort (mindestens 6 Zeichen).</li>\n"
        "<li>Tragen Sie im Programm unter <em>Einstellungen</em> Benutzername und Passwort ein und prüfen Sie "
        "sie mit <em>Zugangsdaten testen</em>.</li>\n"
        "<li>Jeder Screenshot, den Sie von nun an hochladen, gehört zu Ihrem Konto. Über <em>Auf Website "
        "einloggen</em> kommen Sie direkt zu Ihrer Liste.</li>\n</ol>\n"
        "<h2 id=\"names\">Welche Namen sind erlaubt?</h2>\n"
        "<p>Screenshot- und Session-Namen bestehen aus höchstens 40 Buchstaben (auch ä, ö, ü und ß), Ziffern, "
        "- und _. Leerzeichen werden zu _. Ohne eigenen Namen bekommt jeder Screenshot einen zufälligen. Ein "
        "umbenannter Screenshot ist auch unter seinem alten Namen zu finden.</p>\n"
        "<h2 id=\"session\">Was ist der Session-Modus?</h2>\n"
        "<p>Alle Screenshots einer Session erscheinen auf der Seite der Session, neue sofort und ohne Neuladen. "
        "Eine Session endet, wenn eine Weile nichts hochgeladen wurde. Sie gehört dem Programm, das sie begonnen "
        "hat: Wer denselben Namen wählt, solange sie läuft, bekommt einen eigenen Namen daneben.</p>");
}

}  // namespace snapora::server
