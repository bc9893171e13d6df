#pragma once
// What the plug-in object does, as plain functions with C linkage. The class the
// host sees forwards to them, so it can be compiled apart for the class layout of
// the host's compiler while everything behind it stays in one build. No standard
// library header may come in here: the class layer that includes this is built
// without one.

extern "C" {

// initPlugin: binds the host function table and applies the version gate.
bool cohortixInitPlugin();

// execute: one whole simulation run, once initPlugin has succeeded.
bool cohortixExecute();
}
