// QAbstractItemModelTester on the window's list models: it checks a model's
// answers (counts, indexes, parents, headers) after every change the model
// signals. Its failures arrive as warnings ("FAIL! ..."), collected here so
// that a test can assert there were none.
#pragma once

#include <QAbstractItemModelTester>
#include <QtGlobal>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace solne::test {

class ModelTesterWatch {
public:
    ModelTesterWatch() {
        Failures().clear();
        previous_ = qInstallMessageHandler(&Collect);
    }
    ~ModelTesterWatch() { qInstallMessageHandler(previous_); }
    ModelTesterWatch(const ModelTesterWatch&) = delete;
    ModelTesterWatch& operator=(const ModelTesterWatch&) = delete;

    // Checks `model` now and after each of its changes, as long as this watch lives.
    void Watch(QAbstractItemModel* model) {
        testers_.push_back(std::make_unique<QAbstractItemModelTester>(
            model, QAbstractItemModelTester::FailureReportingMode::Warning));
    }

    // What the testers reported, one line a failure.
    static std::string Report() {
        std::string out;
        for (const auto& f : Failures()) out += f + "\n";
        return out;
    }

private:
    static std::vector<std::string>& Failures() {
        static std::vector<std::string> failures;
        return failures;
    }
    static void Collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        const bool fromTester = context.category && std::string(context.category) == "qt.modeltest";
        if (fromTester || message.contains(QStringLiteral("FAIL!"))) Failures().push_back(message.toStdString());
        else if (type != QtDebugMsg) fprintf(stderr, "%s\n", qPrintable(message));
    }

    QtMessageHandler previous_ = nullptr;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers_;
};

}  // namespace solne::test
