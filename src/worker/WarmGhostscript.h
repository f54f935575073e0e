#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Ghostscript kept started for the life of the worker: one interpreter for
// each delegate ImageMagick picks for a PDF, each started with the command
// ImageMagick's own delegate table gives for page 1, less its files.
// ImageMagick still reads the PDF, picks the delegate, names the files, runs
// the child and reads the page back; only the start of a new gs in that child
// is taken over (see Interposition.cpp). The child renders with its own copy
// of an interpreter that no document has touched: the one page it drew is our
// own, drawn at start-up to build its colour transforms.
class WarmGhostscript
{
public:
    // Starts the interpreters; output goes to scratchPath, where ImageMagick
    // keeps its own files. ImageMagick must be started.
    explicit WarmGhostscript(const QString &scratchPath);
    ~WarmGhostscript();
    WarmGhostscript(const WarmGhostscript &) = delete;
    WarmGhostscript &operator=(const WarmGhostscript &) = delete;

    // "" when it renders; otherwise why every page goes to a new gs.
    QString problem() const;

    // In the child ImageMagick forked to start gs: when argv is the command
    // ImageMagick builds for page 1 of a PDF, renders it and ends the child
    // with the status gs would have ended with. Returns for any other command.
    void renderIfExpected(const char *file, char *const argv[]) const;

    // Tests only: run in the renderer before Ghostscript reads the document.
    void setRendererHook(std::function<void()> hook);

private:
    struct Interpreter
    {
        QByteArray delegate;
        // ImageMagick's command, its three files left out: the page files'
        // option holds only "-sOutputFile=", the last two only "-f".
        QList<QByteArray> command;
        qsizetype pagesAt = -1;
        void *instance = nullptr;
        // Pages its device counted before any document's.
        int pagesBefore = 0;
    };

    QString derive(Interpreter &interpreter) const;
    QString start(Interpreter &interpreter) const;
    int warmUpColours(void *instance) const;
    bool matches(const Interpreter &interpreter, const char *file, char *const argv[]) const;
    [[noreturn]] void render(const Interpreter &interpreter, const char *outputPattern,
                             const char *pdf) const;
    QByteArray pageFile() const;

    QByteArray m_scratch;
    QList<Interpreter> m_interpreters;
    QString m_problem;
    std::function<void()> m_rendererHook;
};
