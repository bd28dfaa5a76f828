// The controller's rules for what the router sends, as pure functions of
// the bytes: what text a received chunk stands for, whether it ends in one
// of the two prompts that the controller answers by itself, how the
// auto-connect setting reads and what the tray tip says.  Nothing
// here knows a window toolkit, so every front-end decides the same way.
#pragma once

#include <string>

// The text of one received chunk (Len data bytes at Buffer): it ends at the
// first zero byte, except that a zero byte directly after a CR is the
// telnet way of sending a bare CR; that byte is dropped and the text goes
// on.
std::string ChunkText(const char* Buffer, int Len);

// "login: " at the very end, with at least one character before it.
bool IsLoginPrompt(const std::string& Chunk);

// "Password: " at the very end, alone on its line: the whole chunk, or
// right after a CR or LF (servers often send the echo of the user name's
// line end together with the prompt).
bool IsPasswordPrompt(const std::string& Chunk);

// "AutoConnect" as the settings file holds it: a signed 32-bit number,
// decimal, or hexadecimal after "0x", "0X" or "$"; non-zero is checked.
// Empty, or not a number, gives the default: checked.
bool AutoConnectValue(std::string Text);

// The tray tip: the caption, then " [Block]" or " [Unblock]" and " [Force]"
// or " [Unforce]", after the two check boxes.
std::string TrayTipText(bool BlockChecked, bool ForceChecked);
