#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Ghostscript kept started for the life of the worker: one interpreter for
// each device ImageMagick picks for a PDF, each started with exactly the
// arguments ImageMagick passes, less its files. ImageMagick still reads the
// PDF, picks the device, names the files, runs the child and reads the page
// back; only the start of a new gs in that child is taken over. The child
// renders with its own copy of an interpreter that no document has touched.
class WarmGhostscript
{
public:
    // Starts the interpreters; output goes to scratchPath, where ImageMagick
    // keeps its own files.
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

    // The arguments ImageMagick gives gs for page 1 of a PDF on device, up to
    // its output file and input files.
    static QList<QByteArray> expectedArguments(const QByteArray &device);

private:
    struct Interpreter
    {
        QByteArray device;
        void *instance = nullptr;
    };

    QString start(Interpreter &interpreter) const;
    const Interpreter *interpreterFor(char *const argv[]) const;
    [[noreturn]] void render(const Interpreter &interpreter, const char *outputPattern,
                             const char *pdf) const;
    QByteArray pageFile() const;

    QByteArray m_scratch;
    QList<Interpreter> m_interpreters;
    QString m_problem;
    std::function<void()> m_rendererHook;
};
