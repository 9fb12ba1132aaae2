// Helpers shared by the unit tests: where the fixtures made by independent
// tools are, and where a test writes files for tests/<folder>/check_outputs.sh.
#pragma once

#include <string>

// Path of a fixture made by tests/fixtures/make_*.sh (empty name: the folder).
std::string fixture_path(const std::string& name);

// Path of a file the test writes; the folder is created on first use.
std::string test_out_path(const std::string& name);

// Whole file as bytes; empty when it cannot be read.
std::string read_file_bytes(const std::string& path);
bool write_file_bytes(const std::string& path, const std::string& bytes);

// A movable block holding the text and its terminating zero, as the
// comment and text commands take it; the caller frees it.
void* text_block(const std::string& text);

// Temporary files of the program's safe writes (sqt*.tmp) left in a folder
// (the folder of a path, when it names a file).
int temp_files_in(const std::string& folder_or_path);

// Points the metafile renderer at the one of this build tree: the test
// programs are built in its subfolders, and the program looks for the
// renderer only beside itself. Done before the first test; a test that
// points it elsewhere calls it again.
void use_built_renderer();

// Frees the current image (and its full-colour copy) and resets the state
// the tools, writers and menus read.
void reset_current_image();
