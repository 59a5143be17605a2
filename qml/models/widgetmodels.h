#pragma once

#include "widget/aidialoginputviewmodel.h"
#include "widget/aidialogpostactionsviewmodel.h"
#include "widget/aidialogpresetactionsviewmodel.h"
#include "widget/answerreview.h"
#include "widget/widgetcontent.h"
#include "widget/widgetkeys.h"

#include <QtQml/qqml.h>

// The widget's models as the views know them. Declared here, beside the views, so that
// the models need nothing of Qt Qml and the application loads it with the first window.

struct ForeignWidgetContent {
    Q_GADGET
    QML_FOREIGN(WidgetContent)
    QML_NAMED_ELEMENT(WidgetContent)
    QML_UNCREATABLE("Made by the application for the widget window")
};

struct ForeignAIDialogInputViewModel {
    Q_GADGET
    QML_FOREIGN(AIDialogInputViewModel)
    QML_NAMED_ELEMENT(AIDialogInputViewModel)
    QML_UNCREATABLE("Made by the widget content")
};

struct ForeignAIDialogPostActionsViewModel {
    Q_GADGET
    QML_FOREIGN(AIDialogPostActionsViewModel)
    QML_NAMED_ELEMENT(AIDialogPostActionsViewModel)
    QML_UNCREATABLE("Made by the widget content")
};

struct ForeignAIDialogPresetActionsViewModel {
    Q_GADGET
    QML_FOREIGN(AIDialogPresetActionsViewModel)
    QML_NAMED_ELEMENT(AIDialogPresetActionsViewModel)
    QML_UNCREATABLE("Made by the widget content")
};

struct ForeignAnswerReview {
    Q_GADGET
    QML_FOREIGN(AnswerReview)
    QML_NAMED_ELEMENT(AnswerReview)
    QML_UNCREATABLE("Made by the widget content")
};

struct ForeignWidgetKeys {
    Q_GADGET
    QML_FOREIGN(WidgetKeys)
    QML_NAMED_ELEMENT(WidgetKeys)
    QML_UNCREATABLE("Made by the widget content")
};
