// The host's C functions: design-library iteration, the active model and the question box.
#include "host/xrt.h"

#include <iostream>
#include <vector>

#include "host/session/HostState.h"

using ornhost::detail::LogCall;
using ornhost::detail::State;
using Teskor::ZelPlatform::ZelModel;

struct xrtZelLibIterator {
  std::vector<ZelModel*> models;
  std::size_t next = 0;
};

// Nothing may be thrown through a C function: each answers "nothing" instead.
extern "C" {

xrtZelLibIterator* xrtZelLibIterator_create(int /*options*/) {
  LogCall("xrtZelLibIterator_create");
  try {
    auto* iterator = new xrtZelLibIterator;
    for (auto* library : State().libraries) iterator->models.push_back(&library->model);
    return iterator;
  } catch (...) {
    return nullptr;
  }
}

ZelModel* xrtZelLibIterator_getNext(xrtZelLibIterator* iterator) {
  LogCall("xrtZelLibIterator_getNext");
  if (iterator == nullptr || iterator->next >= iterator->models.size()) return nullptr;
  return iterator->models[iterator->next++];
}

void xrtZelLibIterator_free(xrtZelLibIterator** iterator) {
  LogCall("xrtZelLibIterator_free");
  if (iterator == nullptr) return;
  delete *iterator;
  *iterator = nullptr;
}

ZelModel* xrtModelRef_getActive(void) {
  LogCall("xrtModelRef_getActive");
  auto* master = State().master;
  if (master == nullptr) return nullptr;
  return State().activeIsReference ? &master->referenceModel : &master->model;
}

bool xrtModelRef_isReference(ZelModel* model) {
  LogCall("xrtModelRef_isReference");
  const auto* hostModel = dynamic_cast<const ornhost::detail::HostModel*>(model);
  return hostModel != nullptr && hostModel->IsReference();
}

int xrtDialog_openMessageBox(int dialogId, const char16_t* message, int iconType) {
  LogCall("xrtDialog_openMessageBox");
  try {
    auto& state = State();
    ornhost::Question question{dialogId, message != nullptr ? message : u"", iconType,
                               ornhost::kAnswerNo};
    if (!state.answers.empty()) {
      question.answer = state.answers.front();
      state.answers.pop_front();
    } else {
      // Whatever goes wrong while a person is asked counts as no answer.
      int given = ornhost::kNobodyAnswered;
      try {
        if (state.questionAsker) given = state.questionAsker(question);
      } catch (...) {
        given = ornhost::kNobodyAnswered;
      }
      if (given == ornhost::kAnswerYes) question.answer = ornhost::kAnswerYes;
      if (given != ornhost::kAnswerYes && given != ornhost::kAnswerNo && state.closing) {
        state.closing->unanswered = true;
      }
    }
    if (state.recordCalls) state.questions.push_back(question);
    if (state.questionObserver) {
      try {
        state.questionObserver(question);
      } catch (const std::exception& error) {
        std::cerr << "ornhost: question observer failed: " << error.what() << '\n';
      } catch (...) {
        std::cerr << "ornhost: question observer failed\n";
      }
    }
    return question.answer;
  } catch (...) {
    return ornhost::kAnswerNo;
  }
}

}  // extern "C"

namespace ornhost {

void QueueAnswer(int answer) {
  State().answers.push_back(answer);
}

const std::vector<Question>& Questions() {
  return State().questions;
}

void SetQuestionObserver(std::function<void(const Question&)> observer) {
  State().questionObserver = std::move(observer);
}

void SetQuestionAsker(std::function<int(const Question&)> asker) {
  State().questionAsker = std::move(asker);
}

}  // namespace ornhost
