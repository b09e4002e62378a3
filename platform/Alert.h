// Messages for the user. Without a GUI of their own these go to standard
// error; a handler can send them elsewhere (tests install a recorder).
// All functions may be called from any thread.
#pragma once

typedef void (*AlertHandler)(const char* text);
typedef bool (*ConfirmHandler)(const char* text);

// Hands text to the installed handler, or writes it to standard error as
// one line (see WriteErrorLine).
void ShowAlert(const char* text);
// Installs where alerts go and returns the previous handler (null for the
// default). Null restores the default.
AlertHandler SetAlertHandler(AlertHandler handler);

// Asks the installed handler to confirm text. Without one, writes text like
// ShowAlert does and answers false: the default is Cancel.
bool ShowConfirm(const char* text);
ConfirmHandler SetConfirmHandler(ConfirmHandler handler);

// Writes text to standard error as one line: line breaks inside it become
// spaces and one newline ends it. Null writes an empty line.
void WriteErrorLine(const char* text);
