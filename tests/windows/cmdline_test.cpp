// The command line that addfile hands to CreateProcessW, read back by
// Windows' own parser (CommandLineToArgvW, shell32): the executable must come
// back as argv[0] and the file as argv[1], each whole, for paths with blanks,
// non-ASCII text and trailing backslashes; a folder with quotes in its name
// never gets that far.
//
// Wine rewrites the command line of a started program when the executable's
// path is not quoted, so the started program cannot tell what it was given.
// Here the plug-in's own import of CreateProcessW is pointed at a recorder,
// which keeps the line exactly as the plug-in built it and starts nothing,
// but answers as a start that worked: with handles (two events, already
// set) that the plug-in waits on and closes.
// For a path that no file can have (one ending in backslashes), the plug-in's
// import of path_nameconform is pointed at a stand-in that returns it.
#include "wintest.h"

#include "imports.h"

#include "liveapp_texts.h"

#include <shellapi.h>

#include <cstring>
#include <mutex>

namespace {

std::mutex g_mutex;
std::vector<std::wstring> g_lines;
std::string g_native; // what path_nameconform returns, when not empty

BOOL WINAPI record_create_process(LPCWSTR, LPWSTR command, LPSECURITY_ATTRIBUTES,
                                  LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                  LPSTARTUPINFOW, LPPROCESS_INFORMATION started)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.push_back(command ? command : L"");
    started->hProcess = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    started->hThread = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    started->dwProcessId = started->dwThreadId = 0;
    return TRUE;
}

short (*g_real_nameconform)(const char *, char *, long, long);

short chosen_nameconform(const char *src, char *dst, long style, long type)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_native.empty())
        return g_real_nameconform(src, dst, style, type);
    std::strcpy(dst, g_native.c_str());
    return 0;
}

std::vector<std::string> parse(const std::wstring &line)
{
    std::vector<std::string> out;
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(line.c_str(), &argc);
    for (int i = 0; argv && i < argc; ++i)
        out.push_back(livewin_utf8(argv[i]));
    LocalFree(argv);
    return out;
}

} // namespace

class CommandLine : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        plugin_ = GetModuleHandleW(L"quenbrix.mxe64");
        ASSERT_NE(plugin_, nullptr);
        real_create_ = livewin_replace_import(plugin_, "KERNEL32.dll", "CreateProcessW",
                                              (void *)record_create_process);
        ASSERT_NE(real_create_, nullptr) << "the plug-in imports CreateProcessW";
        g_real_nameconform =
            (short (*)(const char *, char *, long, long))livewin_replace_import(
                plugin_, "MaxAPI.dll", "path_nameconform", (void *)chosen_nameconform);
        ASSERT_NE(g_real_nameconform, nullptr) << "the plug-in imports path_nameconform";
        std::lock_guard<std::mutex> lock(g_mutex);
        g_lines.clear();
        g_native.clear();
    }
    void TearDown() override
    {
        if (real_create_)
            livewin_replace_import(plugin_, "KERNEL32.dll", "CreateProcessW", real_create_);
        if (g_real_nameconform)
            livewin_replace_import(plugin_, "MaxAPI.dll", "path_nameconform",
                                   (void *)g_real_nameconform);
        maxhost_clear_search_path();
        WinTest::TearDown();
    }

    // addfile with a file in a folder; the command lines that came of it.
    std::vector<std::wstring> addfile(const std::string &folder, const std::string &name)
    {
        maxhost_clear_search_path();
        maxhost_add_search_folder(folder.c_str());
        void *x = make();
        maxhost::send(x, "addfile", {maxhost::sym(name.c_str())});
        EXPECT_TRUE(livewin_run_until_sent(maxhost_sent_count() + 1, 15000));
        std::vector<maxhost::Message> sent = sent_by(x);
        EXPECT_EQ(sent.size(), 1u);
        if (!sent.empty())
            EXPECT_EQ(sent[0].selector, LIVEAPP_RESULT_OK);
        std::lock_guard<std::mutex> lock(g_mutex);
        std::vector<std::wstring> lines = g_lines;
        g_lines.clear();
        return lines;
    }

    HMODULE plugin_ = nullptr;
    void *real_create_ = nullptr;
};

TEST_F(CommandLine, ExecutableAndFileComeBackWholeFromWindowsParser)
{
    struct Case {
        const char *folder, *file;
    } cases[] = {
        {"Live Sets with blanks", "My Song (live).als"},
        {"Sets \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac", "Ch\xc3\xa2teau \xf0\x9f\x8e\xb9.als"},
        {"two  blanks, (brackets) & more", "a  b.als"},
    };
    for (const Case &c : cases) {
        std::string folder = test_folder(c.folder);
        std::string file = make_file(folder, c.file);
        std::vector<std::wstring> lines = addfile(folder, c.file);
        ASSERT_EQ(lines.size(), 1u) << c.folder;
        EXPECT_EQ(parse(lines[0]), (std::vector<std::string>{livewin_exe_path(), file}))
            << livewin_utf8(lines[0]);
    }
}

// Windows keeps quotes out of paths: a folder whose name has quotes (made on
// the Unix side by the build, with a Set in it) is listed, but no file call
// opens anything in it. So addfile cannot find the Set, says "error", and no
// command line with a quote in a path is ever built.
TEST_F(CommandLine, FileInAFolderWithQuotesInItsNameIsNotFoundAndStartsNothing)
{
    std::wstring parent = livewin_utf16(livewin_exe_folder()) + L"\\cmdline-quotes";
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((parent + L"\\*quoted*").c_str(), &found);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "the build makes a folder with quotes in its name";
    FindClose(h);
    std::wstring folder = parent + L"\\" + found.cFileName;
    ASSERT_NE(folder.find(L'"'), std::wstring::npos);
    EXPECT_EQ(GetFileAttributesW((folder + L"\\Set.als").c_str()), INVALID_FILE_ATTRIBUTES);

    maxhost_clear_search_path();
    maxhost_add_search_folder(livewin_utf8(folder).c_str());
    void *x = make();
    maxhost::send(x, "addfile", {maxhost::sym("Set.als")});
    ASSERT_TRUE(livewin_run_until_sent(maxhost_sent_count() + 1, 15000));
    std::vector<maxhost::Message> sent = sent_by(x);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].selector, LIVEAPP_RESULT_ERROR);
    std::lock_guard<std::mutex> lock(g_mutex);
    EXPECT_TRUE(g_lines.empty());
}

// A native path that ends in backslashes (a folder): they must not escape the
// closing quote.
TEST_F(CommandLine, TrailingBackslashesDoNotSwallowTheClosingQuote)
{
    std::string folder = test_folder("trailing");
    make_file(folder, "Set.als");
    for (std::string native : {std::string("C:\\Sets with blanks\\"),
                               std::string("C:\\Sets\\\\"), std::string("C:\\")}) {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_native = native;
        }
        std::vector<std::wstring> lines = addfile(folder, "Set.als");
        ASSERT_EQ(lines.size(), 1u) << native;
        EXPECT_EQ(parse(lines[0]), (std::vector<std::string>{livewin_exe_path(), native}))
            << livewin_utf8(lines[0]);
    }
}
