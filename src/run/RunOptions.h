#pragma once

// Opt-in behaviour of a run, chosen in the options dialog or on the command
// line; the defaults keep every run as it has always been.
struct RunOptions
{
    // A PDF whose thumbnail was written from it, with these inputs, and neither
    // has changed since, is listed as up to date and not converted again.
    bool skipUpToDate = false;
    // Each thumbnail goes to the same relative folder under the image folder as
    // its PDF under the PDF folder.
    bool keepSubfolders = false;
};
