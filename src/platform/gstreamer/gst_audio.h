#pragma once
// Shared GStreamer plumbing of the media player and the PCM output: one-time initialisation and the
// choice of the audio sink, so file playback and speech obey the same TARNWICK_AUDIO switch.

#include <gst/gst.h>

#include <string>

namespace tarnwick {

// Initialises GStreamer once per process. Returns false (with the reason) when it cannot be
// initialised; every later call gives the same answer.
bool ensureGstInit(std::string* error = nullptr);

// Initialises GStreamer and loads the elements that speech and file playback are built from, so the
// first sound does not wait for them. Safe on any thread; reports nothing (the sound that meets a
// failure reports it).
void preloadAudioElements();

// A new audio sink (floating reference) for one pipeline:
// - TARNWICK_AUDIO=null: a fakesink that keeps to the clock, so playback takes real time and is silent;
// - otherwise the desktop's default output (autoaudiosink), or that same silent sink when no audio
//   device can be opened, reported once per process as "ERROR audio: ...".
// Returns nullptr only when not even a fakesink can be made.
GstElement* makeAudioSink();

// True when TARNWICK_AUDIO asks for the silent sink.
bool nullAudioRequested();

// Reports one "ERROR where: what" through the process's diagnostics (escaped, repeats limited).
void gstDiagError(const std::string& where, const std::string& what);

// Text of an ERROR message (with the debug detail when the message itself is terse).
std::string gstErrorText(GstMessage* msg);

}  // namespace tarnwick
