#pragma once

#include "common/Component.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QString;

// The two trees of named keys the program keeps values in. Each lives in
// its own INI file under the configuration folder; both belong to the user.
enum class RegistryRoot { CurrentUser, LocalMachine };

// A store of named keys holding named text and integer values, kept in one
// INI file per root (see FileFor). Key paths are backslash-separated and
// always start at the root ("\Software\Tessellon" and "Software\Tessellon"
// are the same key); key and value names compare without regard to case and
// keep the spelling they were created with.
//
// Values are text, 32-bit integers or Booleans (stored as 0 or 1; any
// non-zero integer reads as true). Every change is written to disk at once,
// in a file readable by its owner only. Objects on the same root see each
// other's changes, and the file is looked at again before every access so
// that changes made by another process are picked up.
//
// A file that cannot be read or is not a settings file is moved aside as
// "<file>.bad" and a fresh one is started; the user is told once through the
// message sink, and reads meanwhile give defaults.
//
// Use from one thread only.
class RegistryStore {
public:
    explicit RegistryStore(RegistryRoot root, MessageSink* messages = nullptr);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Opens the key; with canCreate, missing keys on the path are created.
    // False when the key is missing (without canCreate) or the store cannot
    // be used. The empty path ("" or "\") is the root itself.
    bool OpenKey(const std::string& path, bool canCreate);
    void CloseKey();
    bool KeyOpen() const { return Open_; }

    // Reads of the open key. A missing value, or no open key, gives "", 0
    // or false. An integer is read back as text in decimal; a text that is
    // not a decimal number in the 32-bit range reads as the integer 0.
    bool ValueExists(const std::string& name);
    std::string ReadString(const std::string& name);
    int ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);

    // Writes to the open key, replacing any earlier value of that name.
    // Ignored when no key is open.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int value);
    void WriteBool(const std::string& name, bool value);

    std::vector<std::string> GetValueNames();
    bool DeleteValue(const std::string& name);

    bool KeyExists(const std::string& path);
    // Removes the key with all its values and subkeys; the root itself
    // cannot be removed. Closes the open key when it was inside.
    bool DeleteKey(const std::string& path);

    // $TESSELLON_CONFIG_DIR when set, otherwise "Tessellon" under
    // $XDG_CONFIG_HOME, or under $HOME/.config when that is not set.
    static std::string ConfigFolder();
    // CurrentUser.ini or LocalMachine.ini in ConfigFolder().
    static std::string FileFor(RegistryRoot root);

    struct Store; // one per settings file, shared by the objects that use it

private:
    bool Ready();
    // The key of path as stored (matched without regard to case), if it exists.
    std::optional<QString> FindKey(const std::string& path);
    std::string Read(const std::string& name, bool& found);
    void Write(const std::string& name, const std::string& value);

    MessageSink* Messages_;
    std::shared_ptr<Store> Store_;
    bool Open_ = false;
    std::string Group_; // the open key as stored: encoded names joined by '/'
};
