balances = Hash(default_value=0)
TransferEvent = LogEvent(
    event="Transfer",
    params={
        "sender": {"type": str, "idx": True},
        "receiver": {"type": str, "idx": True},
        "amount": {"type": int},
    },
)


@construct
def seed():
    balances[ctx.caller] = 1_000_000


@export
def transfer(amount: int, to: str):
    sender = ctx.caller
    assert amount > 0, "Cannot send negative balances!"
    assert balances[sender] >= amount, "Not enough coins to send!"
    balances[sender] -= amount
    balances[to] += amount
    TransferEvent({"sender": sender, "receiver": to, "amount": amount})


@export
def balance_of(account: str):
    return balances[account]
