// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pages a killed run was still receiving, left under names that carry no process id.
namespace tickora {

class WorkLock;

// Removes the partial pages "<page>.part" and "<page>.<N>.part" that killed runs left in the work
// folder and its profile folders. Their names carry no process id: only the folder's lock, which
// the caller must hold, tells that no live process is writing them. Returns the number removed.
int RemovePartialPages(const WorkLock& held);

}  // namespace tickora
