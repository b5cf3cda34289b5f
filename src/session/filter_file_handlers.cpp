#include "session/filter_file_handlers.h"

#include <system_error>

#include "project/filter_file.h"
#include "session/dialog_dirs.h"
#include "workspace/caption.h"
#include "workspace/error.h"
#include "workspace/saved_note.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// The dialog opens where filters were last saved or loaded, else where the user's files are.
DialogSpec FilterDialogSpec(const FileDialog& dialog, std::string title, std::string fallbackDir) {
    DialogSpec spec;
    spec.Title = std::move(title);
    spec.Filter = dialog.Filter;
    spec.FilterIndex = dialog.FilterIndex;
    spec.DefaultExt = dialog.DefaultExt;
    spec.FileName = dialog.FileName;
    spec.InitialDir = dialog.InitialDir.empty() ? std::move(fallbackDir) : dialog.InitialDir;
    return spec;
}

std::optional<fs::path> Chosen(Session& s, FileDialog& dialog, const std::optional<FileChoice>& choice) {
    if (!choice || choice->Files.empty()) return std::nullopt;
    const fs::path path = choice->Files[0];
    RememberDirOf(s, FileGroup::Filters, path);
    dialog.FileName = path.filename().string();
    dialog.InitialDir = path.parent_path().string();
    return path;
}

void SetSavedCaption(Session& s) { s.host.SetCaption(MakeCaption(s.ws, CaptionKind::Saved)); }

}  // namespace

fs::path FilterCopyPath(const Session& s) {
    const fs::path dir = s.SettingsFileName.empty() ? fs::path(s.ws.AppDir) : s.SettingsFileName.parent_path();
    return dir / kFilterCopyName;
}

void SaveFilterClick(Session& s) {
    FileDialog& dialog = s.form.SaveDialog5;
    const auto path = Chosen(s, dialog, s.host.SaveDialog(FilterDialogSpec(dialog, "Save wavelet filter", StartDirFor(s, FileGroup::Filters, true))));
    std::error_code ec;
    if (path && (!fs::exists(*path, ec) ||
                 s.host.Message(MsgKind::Warning, " Overwrite existing projectfile ?", Buttons::YesNo) == Answer::Yes)) {
        const FilterValues values = FilterValuesFrom(s.form);
        const fs::path copy = FilterCopyPath(s);
        // The copy is written before and after the chosen file. A copy that cannot be written
        // must not cost the user the file asked for; the second write reports it.
        try {
            WriteFilterFile(copy, values);
        } catch (const Error&) {
        }
        WriteFilterFile(*path, values);
        NoteSaved(s.ws, *path);
        WriteFilterFile(copy, values);
    }
    SetSavedCaption(s);
}

void LoadFilterClick(Session& s) {
    FileDialog& dialog = s.form.OpenDialog3;
    const auto path = Chosen(s, dialog, s.host.OpenDialog(FilterDialogSpec(dialog, "Load wavelet filter", StartDirFor(s, FileGroup::Filters, false))));
    if (path) {
        // Read whole before any spin changes, so a bad file leaves the filter as it was.
        ApplyFilterValues(s.form, ReadFilterFile(*path));
        // The copy holds what the spins now show (a value beyond their range is held at it).
        WriteFilterFile(FilterCopyPath(s), FilterValuesFrom(s.form));
    }
    SetSavedCaption(s);
}

void RegisterFilterFileHandlers(Session& s) {
    s.handlers.On("SaveFilter", Event::Click, [&s] { SaveFilterClick(s); });
    s.handlers.On("LoadFilter", Event::Click, [&s] { LoadFilterClick(s); });
}

}  // namespace talvenor
