// Queued actions: a method of an object bound to copies of its arguments, run
// later on the thread of the queue it is posted to, which then releases it.
#pragma once

class IQenQueuedAction {
public:
  virtual void Execute() = 0;
  virtual void Release() { delete this; }
  virtual ~IQenQueuedAction() = default;
};

// R: the method's result type, which is ignored.
template <typename T, typename A1, typename R = void>
class CQenQueuedAction1 : public IQenQueuedAction {
public:
  using Method = R (T::*)(A1);

  CQenQueuedAction1(Method pfnMethod, T* pTarget, const A1& arg1)
      : m_pfnMethod(pfnMethod), m_pTarget(pTarget), m_arg1(arg1) {}

  void Execute() override {
    if (m_pTarget != nullptr)
      (m_pTarget->*m_pfnMethod)(A1(m_arg1));
  }

  Method m_pfnMethod;
  T* m_pTarget;  // not owned
  A1 m_arg1;
};

template <typename T, typename A1, typename A2, typename R = void>
class CQenQueuedAction2 : public IQenQueuedAction {
public:
  using Method = R (T::*)(A1, A2);

  CQenQueuedAction2(Method pfnMethod, T* pTarget, const A1& arg1, const A2& arg2)
      : m_pfnMethod(pfnMethod), m_pTarget(pTarget), m_arg1(arg1), m_arg2(arg2) {}

  void Execute() override {
    if (m_pTarget != nullptr)
      (m_pTarget->*m_pfnMethod)(A1(m_arg1), A2(m_arg2));
  }

  Method m_pfnMethod;
  T* m_pTarget;  // not owned
  A1 m_arg1;
  A2 m_arg2;
};
