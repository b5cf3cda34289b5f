#include "session/result_save.h"

#include <algorithm>
#include <system_error>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "session/dialog_dirs.h"
#include "session/project_files.h"
#include "session/wavelet_process.h"
#include "workspace/caption.h"
#include "workspace/error.h"
#include "workspace/read_only_files.h"
#include "workspace/saved_note.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

std::string ExtensionOf(SaveFormat format) {
    switch (format) {
        case SaveFormat::Jpeg: return ".jpg";
        case SaveFormat::Tiff: return ".tif";
        case SaveFormat::Png: return ".png";
        default: return ".bmp";
    }
}

// The folder the dialog opens in: the save subfolder of the input folder when asked for
// (made when missing), else where the user's files are.
std::string SaveDialogStart(Session& s) {
    const Controls& f = s.form;
    // Without an input folder the subfolder would land wherever the program was started.
    if (f.SaveSub.Checked && !f.DirectoryListBox1.Directory.empty()) {
        const fs::path dir = fs::path(f.DirectoryListBox1.Directory) / f.Subdirname.Text;
        std::error_code ec;
        fs::create_directories(dir, ec);
        // A folder that cannot be made is left to the dialog, which opens somewhere sensible.
        if (fs::is_directory(dir, ec)) return dir.string();
    }
    return StartDirFor(s, FileGroup::Results, true);
}

bool MayWrite(Session& s, const fs::path& path) {
    std::error_code ec;
    return !fs::exists(path, ec) ||
           s.host.Message(MsgKind::Warning, " Overwrite existing file ?", Buttons::YesNo) == Answer::Yes;
}

// A read-only file the user agreed to replace: writable while the writer replaces it, and the
// new file is read-only again afterwards, as the user had protected the old one (the writer
// itself keeps a file's permissions). A failed save leaves the old file protected as it was.
class ReadOnlyReplacement {
public:
    explicit ReadOnlyReplacement(const fs::path& file) : file_(file) {
        std::error_code ec;
        protection_ = fs::status(file_, ec).permissions();
        if (ec) return;
        fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add, ec);
        active_ = !ec;
    }
    ~ReadOnlyReplacement() {
        std::error_code ec;
        if (active_) fs::permissions(file_, protection_, ec);
    }
    ReadOnlyReplacement(const ReadOnlyReplacement&) = delete;
    ReadOnlyReplacement& operator=(const ReadOnlyReplacement&) = delete;

private:
    fs::path file_;
    fs::perms protection_ = fs::perms::none;
    bool active_ = false;
};

}  // namespace

fs::path SaveTargetPath(const fs::path& chosen, SaveFormat format, bool defaultName) {
    const fs::path dir = chosen.parent_path();
    std::string name = chosen.filename().string();
    if (defaultName && (name.empty() || name.front() == '.')) name = "default";
    if (format == SaveFormat::Fits) return dir / name;
    // Everything from the last dot is the extension, so ".tif" has none left to keep.
    const std::size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    return dir / (base + ExtensionOf(format));
}

std::optional<fs::path> RunResultSave(Session& s, const ResultSave& save) {
    FileDialog& dialog = *save.Dialog;
    DialogSpec spec;
    spec.Title = save.Title;
    spec.Filter = dialog.Filter;
    spec.FilterIndex = dialog.FilterIndex;
    spec.DefaultExt = dialog.DefaultExt;
    spec.FileName = dialog.FileName;
    spec.InitialDir = SaveDialogStart(s);

    std::optional<fs::path> written;
    const auto choice = s.host.SaveDialog(spec);
    if (choice && !choice->Files.empty()) {
        const fs::path chosen = choice->Files[0];
        const int type = choice->FilterIndex;
        dialog.FilterIndex = type;
        const fs::path dir = chosen.parent_path();
        s.Settings.WriteString("Files", "SaveDir", dir.string());
        RememberDirOf(s, FileGroup::Results, chosen);
        dialog.InitialDir = dir.string();
        // The stack's dialog also carries the last folder saved to for every save dialog.
        s.form.SaveDialog1.InitialDir = dir.string();
        if (save.Chosen) save.Chosen(type);

        const std::size_t index = type >= 1 && std::size_t(type) <= save.Formats.size() ? std::size_t(type - 1) : 0;
        const SaveFormat format = save.Formats.empty() ? SaveFormat::Bmp : save.Formats[index];
        const fs::path path = SaveTargetPath(chosen, format, save.DefaultName);
        // FITS is asked about by its writer, per channel file, under the names it really writes.
        std::optional<ReadOnlyReplacement> unprotected;
        bool go = format == SaveFormat::Fits;
        if (!go && IsReadOnlyFile(path)) {
            go = ConfirmReadOnlyReplace(s.host, path);  // without a person to ask: Error, nothing written
            if (go) unprotected.emplace(path);
        } else if (!go) {
            go = MayWrite(s, path);
        }
        if (go && save.Prepare && !save.Prepare()) {
            s.host.Message(MsgKind::Information, "Processing cancelled: nothing was saved.", Buttons::Ok);
            go = false;
        }
        if (go) {
            save.Write(type, path);
            written = path;
            NoteSaved(s.ws, path);
        }
    }
    // The working directory is never changed by a save, so there is nothing to restore.
    if (save.CaptionAfter) s.host.SetCaption(MakeCaption(s.ws, CaptionKind::Saved));
    return written;
}

void SaveWideImage(const TTIFFBitMap& image, int width, int height, const fs::path& path, std::string_view recipe,
                   SafeFileSet* set) {
    if (!image.HasWide || width <= 0 || height <= 0 || image.Width() < width || image.Height() < height)
        throw Error(path.filename().string() + ": there is no 16-bit image of " + std::to_string(width) + " x " +
                    std::to_string(height) + " to save");
    // Written from the image's own rows: a copy of a large stack cost more than the write.
    SaveToFile(image, path, 48, false, recipe, set, width, height);
}

ResultSave PageSave(Session& s, std::string title) {
    ResultSave save;
    save.Dialog = &s.form.WaveletSave;
    save.Title = std::move(title);
    save.Formats = {SaveFormat::Bmp, SaveFormat::Jpeg, SaveFormat::Fits, SaveFormat::Tiff, SaveFormat::Png};
    save.DefaultName = true;
    return save;
}

void SaveBMP2buttonClick(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    ResultSave save = PageSave(s, "Save the processed image");
    save.Prepare = [&s] { return ProcessWholePicture(s); };
    save.Write = [&](int type, const fs::path& path) {
        switch (type) {
            // JPEG, FITS, TIFF and PNG results carry the project that made them.
            case 2: WriteJpeg(path, ProcessedPicture(s), ProjectText(s), s.OutputSet); break;
            case 3: WriteFits(ws, f, s.host, path, ws.ImageWidth, ws.ImageHeight, 1, 16, {.Recipe = ProjectText(s)}, s.OutputSet); break;
            case 4: SaveWideImage(ws.StackTiff, ws.ImageWidth, ws.ImageHeight, path, ProjectText(s), s.OutputSet); break;
            case 5: WritePng16(path, ws.StackTiff, ws.ImageWidth, ws.ImageHeight, ProjectText(s), s.OutputSet); break;
            default: WriteBmp24(path, ProcessedPicture(s), s.OutputSet); break;
        }
    };
    RunResultSave(s, save);
}

void SaveSubClick(Session& s) { s.form.Subdirname.Visible = s.form.SaveSub.Checked; }

void RegisterSaveHandlers(Session& s) {
    s.handlers.On("SaveBMP2button", Event::Click, [&s] { SaveBMP2buttonClick(s); });
    s.handlers.On("SaveSub", Event::Click, [&s] { SaveSubClick(s); });
}

}  // namespace talvenor
