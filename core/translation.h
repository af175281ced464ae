#pragma once
// Chinese texts: ":/zh.qm" (the program's) and ":/qt_zh_CN.qm" (the toolkit's).
#include <QString>
#include <QStringList>
#include <QTranslator>

#include <cstddef>
#include <memory>

inline bool isChineseLang(const QString &lang) { return lang == QLatin1String("0"); }

// GUI thread only: installs both catalogues for its lifetime when lang is "0", so a
// function can build a set of translated texts and leave the application as it found it.
class ChineseTranslatorScope
{
public:
    explicit ChineseTranslatorScope(const QString &lang);
    ~ChineseTranslatorScope();
    ChineseTranslatorScope(const ChineseTranslatorScope &) = delete;
    ChineseTranslatorScope &operator=(const ChineseTranslatorScope &) = delete;

private:
    std::unique_ptr<QTranslator> m_program;
    std::unique_ptr<QTranslator> m_toolkit;
};

// For worker threads, which never install an application-wide translator: a catalogue
// of its own, looked up directly.
class ThreadTranslator
{
public:
    explicit ThreadTranslator(const QString &lang);
    QString translate(const char *context, const char *source) const;
    // A table of sources of one context (QT_TRANSLATE_NOOP), translated in order.
    template <std::size_t N>
    QStringList translate(const char *context, const char *const (&sources)[N]) const
    {
        QStringList texts;
        texts.reserve(qsizetype(N));
        for (const char *source : sources)
            texts << translate(context, source);
        return texts;
    }

private:
    QTranslator m_program;
    bool m_loaded = false;
};
