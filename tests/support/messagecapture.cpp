#include "messagecapture.h"

MessageCapture::MessageCapture() : m_texts(std::make_shared<QStringList>()) {}

MessagePresenter MessageCapture::presenter() const {
    return [texts = m_texts](QWidget*, const QString& text) {
        texts->append(text);
    };
}
