// The small component model the socket, telnet and application classes
// stand on: an owned-component base (an owner frees what it owns, free
// notifications, the designing and destroying flags) and the exception base
// whose descendants the socket layer's guards catch.
#pragma once

#include <exception>
#include <string>
#include <vector>

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// The common exception base: every exception the layers raise on purpose
// derives from it, and it carries a plain message text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

enum TOperation : unsigned char { opInsert, opRemove };

// Component-state flags consulted by the layers.
enum TComponentStateFlag : unsigned { csDesigning = 1u << 0, csDestroying = 1u << 1 };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  unsigned ComponentState() const { return FComponentState; }
  const std::vector<TComponent*>& Components() const { return FComponents; }

  // Ask to be told (through Notification(opRemove)) when `component` dies.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Marks the component as edited in a design environment (tests only).
  void SetDesigning(bool value);

  std::string Name;
  long Tag = 0;

 protected:
  // Called for owned components as they come and go, and for components
  // this one asked FreeNotification about when they are destroyed.
  virtual void Notification(TComponent* component, TOperation operation);
  // Sets the destroying flag; a destructor that acts on it calls this first
  // (the base destructor runs last and would set it too late).
  void Destroying() { FComponentState |= csDestroying; }

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* FOwner = nullptr;
  unsigned FComponentState = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};
