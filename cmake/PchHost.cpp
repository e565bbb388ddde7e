// The one source of the targets that build the shared precompiled headers
// (cmake/NoskTargets.cmake): they compile nothing else.
