// Console texts and outlet symbols used by more than one file. Texts used in
// one place only stand at that place.
#ifndef QUENBRIX_LIVEAPP_TEXTS_H
#define QUENBRIX_LIVEAPP_TEXTS_H

#define LIVEAPP_CLASS_NAME "quenbrix"
#define LIVEAPP_RESULT_OK "ok"
#define LIVEAPP_RESULT_ERROR "error"

#define LIVEAPP_TEXT_NO_WINDOW "can't find Ableton Live window"
#define LIVEAPP_TEXT_NOT_ACTIVE "the Live app is not active"
#define LIVEAPP_TEXT_NOTHING_SAVED "no window has been saved"
#define LIVEAPP_TEXT_WINDOW_GONE "the saved window no longer exists"
#define LIVEAPP_TEXT_FILE_NOT_FOUND "can't find the file: %s"
#define LIVEAPP_TEXT_NO_NATIVE_PATH "can't make a native path of the file: %s"
#define LIVEAPP_TEXT_NOT_GIVEN "Live was not given the file: %s"
#define LIVEAPP_TEXT_CANT_ACTIVATE "can't activate the Live app"
#define LIVEAPP_TEXT_NO_BROADCAST "error broadcasting window message"
#define LIVEAPP_TEXT_NOT_FRONTED "can't bring the window to the front"

// The title marker that follows the set name in Live's main window.
#define LIVEAPP_TITLE_MARKER " - Ableton Live"
#define LIVEAPP_WINDOW_CLASS "Ableton Live Window Class"

#endif
