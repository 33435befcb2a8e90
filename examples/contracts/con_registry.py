import con_token

owner = Variable()
names = Hash(default_value=None)


@construct
def seed():
    owner.set(ctx.caller)


@export
def register(name: str):
    assert names[name] is None, "Name already taken!"
    assert con_token.balance_of(account=ctx.caller) > 0, "Only token holders may register!"
    names[name] = ctx.caller


@export
def owner_of(name: str):
    return names[name]
