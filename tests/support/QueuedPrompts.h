#pragma once

#include "config/Prompts.h"

#include <deque>
#include <functional>
#include <vector>

#include <QString>

namespace quav::test {

// Answers the windows' dialogs from queues, as a user would, and keeps what they asked.
struct QueuedPrompts : Prompts
{
    struct Message
    {
        QString title, text;
        bool abort;
    };
    struct SaveAsk
    {
        QString title, start, filter, suffix;
    };

    QString AskSaveFile(QWidget*, const QString& title, const QString& start, const QString& filter,
                        const QString& suffix) override
    {
        saveAsks.push_back({title, start, filter, suffix});
        Prompting();
        if (saveAnswers.empty()) {
            return {};
        }
        const QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    void ShowMessage(QWidget*, const QString& title, const QString& message, bool abortButton) override
    {
        messages.push_back({title, message, abortButton});
        Prompting();
    }
    void RunPrinterSetup(QPrinter&) override
    {
        ++printerSetups;
        Prompting();
    }
    void RunModal(QDialog& dialog) override
    {
        ++modalRuns;
        Prompting();
        if (!modalSteps.empty()) {
            const auto step = std::move(modalSteps.front());
            modalSteps.pop_front();
            step(dialog);
        }
    }
    void ShowHelp(int context) override { helpContexts.push_back(context); }

    std::deque<QString> saveAnswers; ///< one per save dialog; none left: cancelled
    /// What the user does in each modal dialog shown; none left: it is closed at once.
    std::deque<std::function<void(QDialog&)>> modalSteps;
    /// Looks at the program while a dialog is up.
    std::function<void()> whilePrompting;

    std::vector<SaveAsk> saveAsks;
    std::vector<Message> messages;
    std::vector<int> helpContexts;
    int printerSetups = 0;
    int modalRuns = 0;

private:
    void Prompting()
    {
        if (whilePrompting) {
            whilePrompting();
        }
    }
};

} // namespace quav::test
