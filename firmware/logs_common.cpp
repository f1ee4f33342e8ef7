#include <string.h>

#include "controller/controller.h"
#include "firmware/logs_internal.h"
#include "tree/handler_context.h"

namespace tavo::firmware {

bool log_target(TavoNode* controller, TavoNode* node, LogTarget* target) {
  if (controller == nullptr) return false;
  const tree::HandlerContext fn = controller::function_context(controller);
  if (!fn) return false;
  const tree::HandlerContext at = node != nullptr ? tree::handler_context(node) : fn;
  *target = LogTarget{fn.number, at.domain, at.port, controller::controller_instance(controller)};
  return true;
}

std::string param_text(const char* params, int i) {
  if (params == nullptr || i < 0 || i >= TAVO_MAX_PARAMS) return "";
  const char* text = params + static_cast<size_t>(i) * TAVO_VALUE_SIZE;
  if (static_cast<uint8_t>(text[0]) == TAVO_NOT_GIVEN) return "";
  return std::string(text, strnlen(text, TAVO_VALUE_SIZE));
}

}  // namespace tavo::firmware
