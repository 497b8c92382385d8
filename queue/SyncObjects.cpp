#include "queue/SyncObjects.h"

bool CQenSyncObject::Lock(uint32_t dwTimeout) {
  if (!m_hObject)
    return false;
  return m_hObject->Wait(dwTimeout);
}

bool CQenSyncObject::Unlock(int32_t, int32_t*) {
  return true;
}

CQenSyncObject::~CQenSyncObject() = default;

bool CQenCriticalSectionObject::Lock(uint32_t) {
  m_sect.lock();
  return true;
}

bool CQenCriticalSectionObject::Unlock() {
  m_sect.unlock();
  return true;
}

bool CQenEventObject::Unlock() {
  return true;
}

CQenSingleLock::CQenSingleLock(CQenSyncObject* pObject)
    : m_pObject(pObject), m_bAcquired(pObject != nullptr && pObject->Lock(INFINITE)) {}

CQenSingleLock::~CQenSingleLock() {
  Unlock();
}

bool CQenSingleLock::Unlock() {
  if (m_bAcquired)
    m_bAcquired = !m_pObject->Unlock();
  return !m_bAcquired;
}
