// langconv CODEC IN OUT: converts a UTF-8 language source into the code page it is carried in.
// Line ends become CR LF. Fails on any character the code page cannot hold, so that a
// translation never turns into question marks unnoticed.
#include <QCoreApplication>
#include <QFile>
#include <QTextCodec>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: langconv CODEC IN OUT\n");
        return 2;
    }
    QTextCodec* codec = QTextCodec::codecForName(argv[1]);
    if (!codec) {
        std::fprintf(stderr, "langconv: unknown code page %s\n", argv[1]);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "langconv: cannot read %s\n", argv[2]);
        return 1;
    }
    const QByteArray raw = in.readAll();
    QString text;
    {
        QTextCodec::ConverterState state;
        text = QTextCodec::codecForName("UTF-8")->toUnicode(raw.constData(), int(raw.size()), &state);
        if (state.invalidChars > 0) {
            std::fprintf(stderr, "langconv: %s is not valid UTF-8\n", argv[2]);
            return 1;
        }
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    QByteArray out;
    int lineNo = 0;
    bool failed = false;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        ++lineNo;
        QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
        const QByteArray bytes = codec->fromUnicode(line.constData(), int(line.size()), &state);
        if (state.invalidChars > 0) {
            std::fprintf(stderr, "%s:%d: %d character(s) not in %s: %s\n", argv[2], lineNo,
                         int(state.invalidChars), argv[1], line.toUtf8().constData());
            failed = true;
        }
        out += bytes;
        out += "\r\n";
    }
    if (text.endsWith(QLatin1Char('\n')))
        out.chop(2);  // the split above made one empty piece after the final line end
    if (failed)
        return 1;
    QFile o(QString::fromLocal8Bit(argv[3]));
    if (!o.open(QIODevice::WriteOnly | QIODevice::Truncate) || o.write(out) != out.size()) {
        std::fprintf(stderr, "langconv: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
