#pragma once

#include "common/Component.h"
#include "crawl/StringList.h"
#include "settings/SettingsKey.h"
#include "viewer/ViewLines.h"

#include <QAbstractListModel>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What became of a file the library was asked to move to the Trash.
enum class TrashOutcome {
    Moved,   // in the Trash with its .trashinfo, to be restored from any file manager
    NoTrash, // its file system has no Trash of this user: left where it was
    Failed,  // left where it was: gone, outside the folder, refused, or a build runs
};

// The list of every downloaded picture and video under the storage folder:
// one record per file, filtered (unviewed only, thumbnails or full size, a
// search text) into display lines, sorted by one of four keys and shown as
// the rows of this model, one line per row. The "viewed" mark of a file is
// its last-write time at minute 58, second 58 (local time).
//
// GUI thread only. Build processes pending events after each folder; while
// it runs every other operation that changes the lists or the disk is
// refused (Building() tells).
class ViewList : public QAbstractListModel, public Component {
public:
    // The row's real path relative to RootFolder, as its bytes (a
    // QByteArray; empty for the empty line).
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit ViewList(MessageSink* messages = nullptr, std::string applicationTitle = "Tessellon",
                      QObject* parent = nullptr);
    ~ViewList() override;

    // Settings, read at creation; each setter stores the new value at once
    // and ignores one out of range. None re-sorts or re-filters.
    int SortType() const { return SortType_; }
    void SetSortType(int v);
    bool SortDescending() const { return SortDescending_; }
    void SetSortDescending(bool v);
    bool UnviewedOnly() const { return UnviewedOnly_; }
    void SetUnviewedOnly(bool v);
    int DisplayedSize() const { return DisplayedSize_; } // 0 thumbnails, 1 full size, 2 both
    void SetDisplayedSize(int v);
    // The listed file types, one a line, kept in lower case and sorted.
    // Storing them is the preferences dialog's task.
    void SetListedTypes(std::string_view text);
    std::string GetListedTypes() const { return Types_.Text(); }

    // The listed folder; Build adds a trailing "/" when missing.
    std::string RootFolder;
    std::string SearchText;
    bool SearchActive = false;

    // Receives the progress text during a build ("N files selected.").
    std::function<void(const std::string&)> CountLabel;
    // Shows the hourglass (true) or restores the saved cursor (false).
    std::function<void(bool busy)> BusyCursor;
    // Processes pending events; QCoreApplication::processEvents by default.
    std::function<void()> ProcessMessages;

    // Lists RootFolder anew, then filters, sorts and shows. Returns the
    // number of files found; while a build runs, a second call returns the
    // previous count and does nothing.
    int Build();
    bool Building() const { return Building_; }
    int FoundCount() const { return FoundCount_; }
    // Folders of the last build that could not be read and were skipped.
    int UnreadableFolders() const { return UnreadableFolders_; }

    // Recomputes the lines from the records (one empty line when none
    // passes), then sorts them.
    bool Filter();
    bool SortLines();
    // Tells the attached views that the lines are to be shown.
    bool ShowLines();
    // Empties records and lines.
    bool ClearRecords();

    // Marks a file viewed: its record's flag is set and its last-write
    // minute and second become 58 (local time). The path is looked up by
    // its key, so the lower-case form reaches the real file. A path that names no
    // regular file inside RootFolder, or whose time cannot be written, shows
    // "unable to open " + path and returns false.
    bool MarkViewed(const std::string& relativePath);
    // Moves a listed file, read-only or not, to the desktop Trash (the
    // freedesktop layout: the home's Trash for a file on the home's file
    // system, that file system's own .Trash-<uid> elsewhere), when its
    // canonical path lies inside the canonical RootFolder and it is a
    // regular file, not a link. The file is only ever renamed into the
    // Trash, never copied and removed, so it is either there, with its
    // .trashinfo, or where it was. The lists are left as they are.
    TrashOutcome TrashFile(const std::string& relativePath);

    const std::vector<ViewRecord>& Records() const { return Records_; }
    const std::vector<ViewLine>& Lines() const { return Lines_; }
    // The line's real relative path and its full path; "" for the empty line.
    std::string LinePath(int line) const;
    std::string LineFullPath(int line) const;
    // The record whose key is the lower case of the path, preferring the one
    // with exactly this path; nullptr when none.
    const ViewRecord* FindRecord(const std::string& relativePath) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void ScanFolder(int folder, const std::string& relative);
    void AddFile(const std::string& relative, std::uint64_t size, std::time_t lastWrite,
                 unsigned mode);
    void DoClearRecords();
    void DoFilter();
    void DoSortLines();
    void DoShowLines();
    void BuildIndex();
    int FindRecordIndex(const std::string& relativePath) const;
    // The canonical path of RootFolder + relative when it is a regular file
    // (not a link) inside the canonical root; "" otherwise.
    std::string ContainedFile(const std::string& relative) const;
    void Message(std::string text) const;
    void Busy(bool on) const {
        if (BusyCursor) BusyCursor(on);
    }
    bool ExtensionListed(std::string_view type) const;

    MessageSink* Messages_;
    std::unique_ptr<SettingsKey> Settings_;
    int SortType_ = VIEWSORT_PATHTREE;
    bool SortDescending_ = false;
    bool UnviewedOnly_ = false;
    int DisplayedSize_ = 1;
    StringList Types_;
    std::vector<std::string> Extensions_; // "." + type, byte-sorted
    std::vector<ViewRecord> Records_;
    std::vector<std::uint32_t> ByKey_; // record indices sorted by key
    std::vector<ViewLine> Lines_;
    int FoundCount_ = 0;
    int UnreadableFolders_ = 0;
    bool Building_ = false;
};
