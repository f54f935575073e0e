#pragma once

// Built into the tests' worker only. With LEAFMARK_WORKER_REFUSALS=<file>, every
// file that this process, its children or the renderer they start in-process
// are refused to open (EACCES, as Landlock refuses) is appended to <file>, one
// path a line, so that a test can tell a resource the read rules lack from a
// thumbnail that merely looks wrong. Programs started anew are not seen.

// The descriptor the record is written through, or -1 when not recording.
int refusalRecordDescriptor();
