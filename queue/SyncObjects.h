// The program's locking primitives: a recursive critical section and an
// auto-reset event behind one lock interface, and a scoped lock for either.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Event.h"

using platform::INFINITE;

class CQenSyncObject {
public:
  CQenSyncObject() = default;
  CQenSyncObject(const CQenSyncObject&) = delete;
  CQenSyncObject& operator=(const CQenSyncObject&) = delete;

  // Waits for m_hObject; false on time-out or when there is no object.
  virtual bool Lock(uint32_t dwTimeout = INFINITE);
  // For objects that release several units; nothing here releases any.
  virtual bool Unlock(int32_t lCount, int32_t* plPrevCount);
  virtual bool Unlock() = 0;
  virtual ~CQenSyncObject();

  // The waitable object; null for the critical section.
  std::unique_ptr<platform::Event> m_hObject;
};

class CQenCriticalSectionObject : public CQenSyncObject {
public:
  using CQenSyncObject::Unlock;
  // Ignores the time-out: it always waits until it owns the section.
  bool Lock(uint32_t dwTimeout = INFINITE) override;
  bool Unlock() override;

private:
  std::recursive_mutex m_sect;
};

// The owner stores an event in m_hObject and signals it with Set().
class CQenEventObject : public CQenSyncObject {
public:
  using CQenSyncObject::Unlock;
  // Releasing an event needs nothing; it does not signal it.
  bool Unlock() override;
};

class CQenSingleLock {
public:
  // Locks pObject at once, without a time limit.
  explicit CQenSingleLock(CQenSyncObject* pObject);
  ~CQenSingleLock();
  CQenSingleLock(const CQenSingleLock&) = delete;
  CQenSingleLock& operator=(const CQenSingleLock&) = delete;

  // true when the lock is no longer held through this object.
  bool Unlock();
  bool IsLocked() const { return m_bAcquired; }

private:
  CQenSyncObject* m_pObject;
  bool m_bAcquired;
};
