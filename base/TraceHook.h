// Trace entries from portable code. The portable parsers cannot reach the
// module logger, so the module installs a sink here while the logger lives;
// without a sink every entry is dropped.
#pragma once

// Receives the level (0 fatal .. 4 debug) and the finished entry text. It is
// called on the tracing thread and must not throw.
typedef void (*TrnTraceSink)(int nLevel, const wchar_t* pszText);

// Installs pfnSink (null removes it) and returns the sink it replaces.
TrnTraceSink TrnSetTraceSink(TrnTraceSink pfnSink) noexcept;

// Completes pszText with " {<pszSourceFile>,<nLine>}" and hands it to the
// installed sink. Never throws: a failure while building the entry drops it.
void TrnTrace(int nLevel, const wchar_t* pszText, const wchar_t* pszSourceFile, int nLine) noexcept;
